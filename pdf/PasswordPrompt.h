#pragma once

#include <QString>
#include <memory>

#include "PDFDocument.h"

// Asks for the password of a locked PDF in a small dialog until it opens; none when the user gives up.
// The password lives only in memory.
std::unique_ptr<PDFDocument> askPassword(const QString &path);
