// velora-manual-pdf: renders the user manual from its Markdown source to PDF with Qt's own text
// document and PDF writer, so building the manual needs no TeX.
// Usage: velora-manual-pdf IN.md OUT.pdf
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

// Chinese text without a Chinese font would come out as empty boxes, which nobody notices
// until a reader does. WenQuanYi Zen Hei first: with it the PDF's text reads back as written,
// while with Noto Sans CJK the writer maps some characters to look-alike Kangxi radicals (用 as
// ⽤), so searching the manual misses them.
bool PickChineseFont(QFont& font) {
    const QStringList families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString& preferred :
         {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")}) {
        if (families.contains(preferred)) {
            font = QFont(preferred);
            return true;
        }
    }
    if (families.isEmpty()) {
        return false;
    }
    font = QFont(families.first());
    return true;
}

// Screenshots are wider than a page: shrink each to the text width, and a tall one to less than
// half the page's height so it does not leave most of a page empty; proportions are kept.
// Returns false when an image cannot be loaded, so a broken picture fails the build.
bool FitImages(QTextDocument& doc, qreal maxWidth, qreal maxHeight) {
    bool ok = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) {
                continue;
            }
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QImage image =
                doc.resource(QTextDocument::ImageResource, QUrl(format.name())).value<QImage>();
            if (image.isNull()) {
                std::fprintf(stderr, "velora-manual-pdf: image not found: %s\n",
                             qPrintable(format.name()));
                ok = false;
                continue;
            }
            const qreal width = std::min(
                {qreal(image.width()), maxWidth, maxHeight * image.width() / image.height()});
            format.setWidth(width);
            format.setHeight(image.height() * width / image.width());
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return ok;
}

// The Markdown reader leaves headings without room above them and tables with doubled borders.
void Tidy(QTextDocument& doc) {
    QTextCursor cursor(&doc);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        cursor.setPosition(block.position());
        const int level = block.blockFormat().headingLevel();
        if (level > 0) {
            QTextBlockFormat format = block.blockFormat();
            format.setTopMargin(level <= 2 ? 14 : 8);
            format.setBottomMargin(4);
            cursor.setBlockFormat(format);
        }
        QTextTable* table = cursor.currentTable();
        if (table && block.position() == table->firstPosition()) {
            QTextTableFormat format = table->format();
            format.setBorderCollapse(true);
            format.setBorder(2);
            format.setBorderBrush(QColor(0x99, 0x99, 0x99));
            format.setCellPadding(4);
            table->setFormat(format);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: velora-manual-pdf IN.md OUT.pdf\n", stderr);
        return 1;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    QFile source(input);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "velora-manual-pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    QFont font;
    if (!PickChineseFont(font)) {
        std::fputs("velora-manual-pdf: no Chinese font (install fonts-wqy-zenhei)\n", stderr);
        return 1;
    }
    font.setPointSizeF(10.5);

    QTextDocument doc;
    doc.setDefaultFont(font);
    // Images are named relative to the Markdown file.
    doc.setBaseUrl(QUrl::fromLocalFile(QFileInfo(input).absolutePath() + QLatin1Char('/')));
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    Tidy(doc);

    QPdfWriter writer(output);
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 18, 20, 12), QPageLayout::Millimeter));
    writer.setTitle(doc.begin().text());
    writer.setCreator(QStringLiteral("velora-manual-pdf"));
    // Laid out on the writer itself, page by page: QTextDocument::print works on a copy that
    // loses the pictures.
    doc.documentLayout()->setPaintDevice(&writer);
    const QRect paintRect = writer.pageLayout().paintRectPixels(writer.resolution());
    const qreal footer = writer.resolution() * 0.35;  // the page number's line
    const QSizeF page(paintRect.width(), paintRect.height() - footer);
    // Image sizes are in 1/96 inch; the layout scales them to the writer's resolution.
    const qreal toImageUnits = 96.0 / writer.resolution();
    if (!FitImages(doc, page.width() * toImageUnits - 1, page.height() * toImageUnits * 0.42)) {
        return 1;
    }
    doc.setPageSize(page);

    QPainter painter;
    if (!painter.begin(&writer)) {
        std::fprintf(stderr, "velora-manual-pdf: cannot write %s\n", argv[2]);
        return 1;
    }
    QFont footerFont = font;
    footerFont.setPointSizeF(8);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.save();
        painter.translate(0, -i * page.height());
        doc.drawContents(&painter, QRectF(QPointF(0, i * page.height()), page));
        painter.restore();
        painter.setFont(footerFont);
        painter.drawText(QRectF(0, page.height(), page.width(), footer),
                         Qt::AlignHCenter | Qt::AlignBottom, QString::number(i + 1));
    }
    painter.end();
    if (QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "velora-manual-pdf: nothing written to %s\n", argv[2]);
        return 1;
    }
    return 0;
}
