#include "PasswordPrompt.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

std::unique_ptr<PDFDocument> askPassword(const QString &path) {
    QDialog dialog;
    dialog.setWindowTitle("Password");
    auto *message = new QLabel(&dialog);
    auto *field = new QLineEdit(&dialog);
    field->setEchoMode(QLineEdit::Password);
    field->setAccessibleName("Password");
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(message);
    layout->addWidget(field);
    layout->addWidget(buttons);

    const QString name = QFileInfo(path).fileName();
    message->setText("\u201c" + name + "\u201d is protected by a password.");
    while (dialog.exec() == QDialog::Accepted) {
        QByteArray password = field->text().toUtf8();
        auto doc = PDFDocument::open(path, password);
        password.fill('\0');
        if (doc) return doc;
        message->setText("The password for \u201c" + name + "\u201d was wrong. Try again.");
        field->clear();
        field->setFocus();
    }
    return nullptr;
}
