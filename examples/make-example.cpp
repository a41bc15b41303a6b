// Writes the example document that `make demo` opens: make-example OUT.pdf
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

int main(int argc, char *argv[]) {
    std::vector<char *> qtArgs{argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen"), nullptr};
    int qtCount = 3;
    QGuiApplication app(qtCount, qtArgs.data());
    if (argc != 2) return 1;
    QPdfWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    writer.setTitle("Field notes");
    QPainter painter(&writer);
    const auto paragraph = [&](const QString &text, double &y, double size = 11, bool bold = false) {
        QFont font("DejaVu Serif");
        font.setPointSizeF(size);
        font.setBold(bold);
        painter.setFont(font);
        const QRectF box(0, y, writer.width(), 10000);
        const QRectF used = painter.boundingRect(box, Qt::TextWordWrap, text);
        painter.drawText(box, Qt::TextWordWrap, text);
        y += used.height() + size;
    };
    const QStringList pages[] = {
        {"Field notes: the spring survey",
         "These notes collect what the team saw during the spring survey of the northern meadows. Select any "
         "sentence in the editor and pick a colour to highlight it; a colour that stays armed paints every "
         "selection you make until you click its swatch again.",
         "The budget for the second season was approved in March. It covers two more weeks in the field, new "
         "traps for the beetle count, and the printing of the final report.",
         "Полевые заметки: весной мы насчитали сорок два вида жуков на северных лугах. Бюджет второго сезона "
         "утверждён в марте.",
         "Weather was mild and mostly dry. The river rose twice, after the storms of the eighth and the "
         "twentieth, and flooded the lower transect for three days each time."},
        {"Observations",
         "Ground beetles were most numerous near the hedgerows. Rove beetles preferred the damp margins of "
         "the river. The highlight you paint here is a real PDF annotation: any reader shows it.",
         "Erase removes a highlight with one click, also one that came with the file. Undo (Ctrl+Z) takes "
         "back the last painting, page by page. Save writes the marked document; Cancel or Escape asks "
         "first when something has changed."},
    };
    bool first = true;
    for (const QStringList &page : pages) {
        if (!first) writer.newPage();
        first = false;
        double y = 0;
        paragraph(page[0], y, 18, true);
        for (int i = 1; i < page.size(); ++i) paragraph(page[i], y);
    }
    return 0;
}
