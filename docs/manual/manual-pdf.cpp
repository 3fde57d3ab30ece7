// manual-pdf: typesets the user manual, QuaverlyManual.pdf, from its Markdown sources.
//
//   manual-pdf [--version TEXT] OUTPUT.pdf EN.md JA.md
//
// The PDF holds a title page, then the English part and the Japanese part, each
// opening on a new page with its own table of contents. Every page but the title
// carries its chapter in the header and its number in the footer.
//
// It runs at build time, also on machines without a display, so it forces Qt's
// offscreen platform. Japanese text needs a CJK font (Debian: fonts-ipafont-gothic);
// without one the tool fails instead of writing a PDF full of empty boxes. The
// output is written through QSaveFile: a failed run leaves no PDF behind, and an
// older one stays as it was.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

// The texts the tool itself puts on the pages of one language part.
struct PartLabels {
  QString contents;   // heading of the table of contents
  QString footer;     // left side of every footer
  QString titleLine;  // the part's line on the title page
};

const PartLabels kEnglish{QStringLiteral("Contents"), QStringLiteral("Quaverly User Manual"),
                          QStringLiteral("English")};
const PartLabels kJapanese{QStringLiteral("目次"), QStringLiteral("Quaverly ユーザーマニュアル"),
                           QStringLiteral("日本語")};

struct FontChoice {
  QString latin;     // body text of the English part
  QString japanese;  // body text of the Japanese part, and fallback everywhere
  QString mono;      // code, commands, file names
};

// The first installed family of each list. The Japanese font is required.
std::optional<FontChoice> chooseFonts() {
  const QStringList installed = QFontDatabase::families();
  const auto first = [&](std::initializer_list<const char*> wanted) -> QString {
    for (const char* family : wanted) {
      if (installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive)) return QString::fromUtf8(family);
    }
    return {};
  };
  FontChoice fonts;
  fonts.japanese = first({"IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "Noto Sans JP"});
  if (fonts.japanese.isEmpty()) return std::nullopt;
  fonts.latin = first({"DejaVu Sans", "Liberation Sans", "Noto Sans"});
  if (fonts.latin.isEmpty()) fonts.latin = fonts.japanese;
  fonts.mono = first({"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono"});
  if (fonts.mono.isEmpty()) fonts.mono = first({"IPAGothic"});
  if (fonts.mono.isEmpty()) fonts.mono = fonts.japanese;
  return fonts;
}

// A font that falls back to the Japanese face for characters the first one lacks.
QFont makeFont(const QString& family, const FontChoice& fonts, qreal points, bool bold = false) {
  QFont font;
  font.setFamilies({family, fonts.japanese});
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

// The house style, applied to the document the Markdown reader built: the reader
// marks headings, code and tables, and this gives them sizes, colours and rules.
// Lengths of frames and tables are in pixels at 96 dpi; the layout scales them.
const QColor kHeadingColour(0x1F, 0x3A, 0x5F);
const QColor kRuleColour(0x9A, 0xA5, 0xB1);
const QColor kCodeBackground(0xF1, 0xF3, 0xF5);
const QColor kHeaderRowBackground(0xDD, 0xE4, 0xEC);

constexpr qreal kBodyPoints = 9.5;

qreal headingPoints(int level) {
  switch (level) {
    case 1:
      return 20;
    case 2:
      return 15;
    case 3:
      return 12;
    default:
      return 10.5;
  }
}

void styleTable(QTextTable* table) {
  QTextTableFormat format = table->format();
  format.setBorder(0.75);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
  format.setBorderBrush(kRuleColour);
  format.setBorderCollapse(true);
  format.setCellSpacing(0);
  format.setCellPadding(4);
  format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
  format.setHeaderRowCount(1);
  format.setTopMargin(4);
  format.setBottomMargin(8);
  table->setFormat(format);
  // With collapsed borders the rules between the cells are the cells' own.
  for (int row = 0; row < table->rows(); ++row) {
    for (int column = 0; column < table->columns(); ++column) {
      QTextTableCell cell = table->cellAt(row, column);
      QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
      cellFormat.setBorder(0.75);
      cellFormat.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
      cellFormat.setBorderBrush(kRuleColour);
      if (row == 0) cellFormat.setBackground(kHeaderRowBackground);
      cell.setFormat(cellFormat);
    }
  }
}

void styleTables(QTextFrame* frame) {
  for (QTextFrame* child : frame->childFrames()) {
    if (auto* table = qobject_cast<QTextTable*>(child)) styleTable(table);
    styleTables(child);
  }
}

// Changes the format of every fragment of a block. The formats are replaced, not
// merged: the Markdown reader sizes headings with a relative size adjustment, which
// would otherwise win over the point size given here.
template <typename Change>
void restyleFragments(QTextDocument& document, const QTextBlock& block, Change change) {
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    if (!fragment.isValid()) continue;
    QTextCharFormat format = fragment.charFormat();
    if (!change(format)) continue;
    QTextCursor span(&document);
    span.setPosition(fragment.position());
    span.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
    span.setCharFormat(format);
  }
}

void styleDocument(QTextDocument& document, const QString& bodyFamily, const FontChoice& fonts) {
  document.setDefaultFont(makeFont(bodyFamily, fonts, kBodyPoints));
  document.setDocumentMargin(0);
  const QStringList bodyFamilies{bodyFamily, fonts.japanese};
  const QStringList monoFamilies{fonts.mono, fonts.japanese};
  QTextCursor edit(&document);
  edit.beginEditBlock();
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat blockFormat = block.blockFormat();
    const int level = blockFormat.headingLevel();
    const bool code = blockFormat.hasProperty(QTextFormat::BlockCodeFence) || blockFormat.nonBreakableLines();
    if (level > 0) {
      blockFormat.setTopMargin(level <= 2 ? 16 : 10);
      blockFormat.setBottomMargin(level <= 2 ? 6 : 4);
      restyleFragments(document, block, [&](QTextCharFormat& format) {
        format.clearProperty(QTextFormat::FontSizeAdjustment);
        format.setFontFamilies(bodyFamilies);
        format.setFontPointSize(headingPoints(level));
        format.setFontWeight(QFont::Bold);
        format.setForeground(kHeadingColour);
        return true;
      });
    } else if (code) {
      // A line too long for the page wraps rather than running off its edge.
      blockFormat.setNonBreakableLines(false);
      blockFormat.setBackground(kCodeBackground);
      blockFormat.setLeftMargin(8);
      blockFormat.setTopMargin(0);
      blockFormat.setBottomMargin(0);
      restyleFragments(document, block, [&](QTextCharFormat& format) {
        format.setFontFamilies(monoFamilies);
        format.setFontPointSize(kBodyPoints - 1);
        return true;
      });
    } else {
      blockFormat.setBottomMargin(5);
      // Inline code: the reader marks it with a fixed-pitch font.
      restyleFragments(document, block, [&](QTextCharFormat& format) {
        if (!format.fontFixedPitch()) return false;
        format.setFontFamilies(monoFamilies);
        format.setFontPointSize(kBodyPoints - 0.5);
        return true;
      });
    }
    QTextCursor(block).setBlockFormat(blockFormat);
  }
  styleTables(document.rootFrame());
  edit.endEditBlock();
}

// One page of body text: its height in layout units, and where the pages begin.
struct Pagination {
  qreal pageHeight = 0;
  int pageCount = 0;
};

int pageOf(qreal y, qreal pageHeight) { return static_cast<int>(std::floor(y / pageHeight)); }

// A paragraph split over two pages keeps at least this many lines at the foot of the
// first; a message and the first line of its explanation stay together.
constexpr int kFewestLinesAtFoot = 3;

// How many lines of a block lie on the page where the block begins.
int linesOnFirstPage(const QTextBlock& block) {
  const QTextDocument* document = block.document();
  const qreal pageHeight = document->pageSize().height();
  const qreal top = document->documentLayout()->blockBoundingRect(block).top();
  const int page = pageOf(top, pageHeight);
  const QTextLayout* lines = block.layout();
  int count = 0;
  for (int i = 0; i < lines->lineCount(); ++i) {
    if (pageOf(top + lines->lineAt(i).y(), pageHeight) == page) ++count;
  }
  return count;
}

// A paragraph in bold only, such as a quoted message before its explanation, leads
// in to what follows, like a heading.
bool isLeadIn(const QTextBlock& block) {
  if (block.blockFormat().headingLevel() > 0) return true;
  bool any = false;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    if (it.fragment().charFormat().fontWeight() < QFont::Bold) return false;
    any = true;
  }
  return any;
}

// Keeps what belongs together on one page. A heading or lead-in that would stand at
// the foot of a page, with less than a few lines after it, starts the next page; so
// do a paragraph that would leave fewer than kFewestLinesAtFoot lines there and a
// table of less than half a page that would be split. The walk goes through the
// document in order: a page break moves only what comes after it.
void keepTogether(QTextDocument& document, qreal pageHeight) {
  QAbstractTextDocumentLayout* layout = document.documentLayout();
  const qreal followingSpace = 4 * QFontMetricsF(document.defaultFont(), layout->paintDevice()).lineSpacing();
  const auto startsPage = [&](qreal top) { return top - pageOf(top, pageHeight) * pageHeight < 1; };
  const auto crossesPage = [&](qreal top, qreal bottom) {
    return pageOf(top, pageHeight) != pageOf(bottom, pageHeight);
  };
  for (auto it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
    if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
      const QRectF rect = layout->frameBoundingRect(table);
      if (rect.height() > pageHeight / 2 || startsPage(rect.top()) || !crossesPage(rect.top(), rect.bottom())) {
        continue;
      }
      QTextTableFormat format = table->format();
      format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
      table->setFormat(format);
      continue;
    }
    const QTextBlock block = it.currentBlock();
    if (!block.isValid()) continue;
    const QRectF rect = layout->blockBoundingRect(block);
    if (startsPage(rect.top())) continue;
    if (isLeadIn(block)) {
      if (!crossesPage(rect.top(), rect.bottom() + followingSpace)) continue;
    } else if (!crossesPage(rect.top(), rect.bottom()) || linesOnFirstPage(block) >= kFewestLinesAtFoot) {
      continue;
    }
    QTextBlockFormat format = block.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(block).setBlockFormat(format);
  }
}

struct Heading {
  int level = 0;
  QString text;
  int page = 0;          // 0-based page of the part's body
  bool pageTop = false;  // it opens its page
};

std::vector<Heading> headingsOf(const QTextDocument& document, qreal pageHeight) {
  std::vector<Heading> headings;
  QAbstractTextDocumentLayout* layout = document.documentLayout();
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    if (level == 0) continue;
    const qreal top = layout->blockBoundingRect(block).top();
    const int page = pageOf(top, pageHeight);
    headings.push_back({level, block.text(), page, top - page * pageHeight < pageHeight / 20});
  }
  return headings;
}

// A picture of a window is shown at most this wide (in pixels at 96 dpi, the unit of
// image sizes in a text document): 12 cm, narrower than the body, and never wider
// than its own pixels.
constexpr qreal kMaxPictureWidth = 120.0 / 25.4 * 96.0;

// Gives every picture of the document its size on the page. A picture that cannot
// be read is named in the result, so that the manual is not printed with a hole.
std::optional<QString> fitPictures(QTextDocument& document) {
  QTextCursor edit(&document);
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
      const QTextFragment piece = fragment.fragment();
      if (!piece.charFormat().isImageFormat()) continue;
      QTextImageFormat format = piece.charFormat().toImageFormat();
      const QImage picture = document.resource(QTextDocument::ImageResource, QUrl(format.name())).value<QImage>();
      if (picture.isNull()) return format.name();
      const qreal width = std::min<qreal>(picture.width(), kMaxPictureWidth);
      format.setWidth(width);
      format.setHeight(width * picture.height() / picture.width());
      edit.setPosition(piece.position());
      edit.setPosition(piece.position() + piece.length(), QTextCursor::KeepAnchor);
      edit.setCharFormat(format);
    }
  }
  return std::nullopt;
}

// The page geometry in device units (the writer's resolution).
struct PageGeometry {
  QRectF body;    // where the text goes, in painter coordinates
  QRectF header;  // above the body
  QRectF footer;  // below the body
};

// One language part, laid out and ready to paint.
struct Part {
  PartLabels labels;
  QString bodyFamily;
  std::unique_ptr<QTextDocument> body;
  std::unique_ptr<QTextDocument> contents;
  std::vector<Heading> headings;
  int bodyPages = 0;
  int contentsPages = 0;
  int firstPage = 0;  // 1-based number of the part's first page (its contents)
};

void prepareDocument(QTextDocument& document, QPaintDevice* device, const PageGeometry& page) {
  document.documentLayout()->setPaintDevice(device);
  document.setPageSize(page.body.size());
}

int pagesOf(const QTextDocument& document, qreal pageHeight) {
  return std::max(1, static_cast<int>(std::ceil(document.documentLayout()->documentSize().height() / pageHeight)));
}

// The table of contents: chapters and their sections, with the page numbers the
// whole PDF will print. bodyStart is the number of the body's first page.
void buildContents(QTextDocument& contents, const Part& part, const FontChoice& fonts, int bodyStart) {
  contents.clear();
  contents.setDefaultFont(makeFont(part.bodyFamily, fonts, kBodyPoints + 0.5));
  contents.setDocumentMargin(0);
  QTextCursor cursor(&contents);
  QTextBlockFormat titleBlock;
  titleBlock.setBottomMargin(14);
  QTextCharFormat title;
  title.setFontPointSize(headingPoints(1));
  title.setFontWeight(QFont::Bold);
  title.setForeground(kHeadingColour);
  cursor.setBlockFormat(titleBlock);
  cursor.insertText(part.labels.contents, title);

  QTextTableFormat tableFormat;
  tableFormat.setBorder(0);
  tableFormat.setCellPadding(2);
  tableFormat.setCellSpacing(0);
  tableFormat.setWidth(QTextLength(QTextLength::PercentageLength, 100));
  tableFormat.setColumnWidthConstraints(
      {QTextLength(QTextLength::PercentageLength, 88), QTextLength(QTextLength::PercentageLength, 12)});
  int rows = 0;
  for (const Heading& heading : part.headings) rows += (heading.level == 2 || heading.level == 3) ? 1 : 0;
  if (rows == 0) return;
  QTextTable* table = cursor.insertTable(rows, 2, tableFormat);
  int row = 0;
  for (const Heading& heading : part.headings) {
    if (heading.level != 2 && heading.level != 3) continue;
    QTextCharFormat text;
    if (heading.level == 2) text.setFontWeight(QFont::Bold);
    // Sections stand indented under their chapter, chapters a little apart.
    const qreal above = heading.level == 2 && row > 0 ? 6 : 1;
    for (int column = 0; column < 2; ++column) {
      QTextTableCell cell = table->cellAt(row, column);
      QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
      cellFormat.setTopPadding(above);
      cellFormat.setBottomPadding(1);
      cellFormat.setLeftPadding(column == 0 && heading.level == 3 ? 16 : 2);
      cell.setFormat(cellFormat);
    }
    table->cellAt(row, 0).firstCursorPosition().insertText(heading.text, text);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    QTextCursor number = table->cellAt(row, 1).firstCursorPosition();
    number.setBlockFormat(right);
    number.insertText(QString::number(bodyStart + heading.page), text);
    ++row;
  }
}

// The chapter at the top of a body page: the last one begun on an earlier page, or
// the one that opens this page.
QString chapterOf(const Part& part, int page) {
  QString chapter;
  for (const Heading& heading : part.headings) {
    if (heading.page > page || (heading.page == page && !heading.pageTop)) break;
    if (heading.level == 2) chapter = heading.text;
  }
  return chapter;
}

void paintFrame(QPainter& painter, const PageGeometry& page, const FontChoice& fonts, const QString& family,
                const QString& header, const QString& footer, int number) {
  painter.save();
  painter.setPen(QPen(kRuleColour, 0));
  const QFont small = makeFont(family, fonts, 8);
  painter.setFont(small);
  if (!header.isEmpty()) {
    painter.setPen(kRuleColour.darker(140));
    painter.drawText(page.header, Qt::AlignRight | Qt::AlignBottom, header);
  }
  painter.setPen(QPen(kRuleColour, page.footer.height() / 200));
  painter.drawLine(page.footer.topLeft(), page.footer.topRight());
  painter.setPen(kRuleColour.darker(140));
  painter.drawText(page.footer, Qt::AlignLeft | Qt::AlignVCenter, footer);
  painter.drawText(page.footer, Qt::AlignRight | Qt::AlignVCenter, QString::number(number));
  painter.restore();
}

// Paints page `index` of a laid-out document into the body rectangle.
void paintDocumentPage(QPainter& painter, const QTextDocument& document, const PageGeometry& page, int index) {
  const qreal height = page.body.height();
  painter.save();
  painter.translate(page.body.left(), page.body.top() - index * height);
  const QRectF visible(0, index * height, page.body.width(), height);
  painter.setClipRect(visible);
  QAbstractTextDocumentLayout::PaintContext context;
  context.clip = visible;
  context.palette.setColor(QPalette::Text, Qt::black);
  document.documentLayout()->draw(&painter, context);
  painter.restore();
}

// An eighth note, the program's namesake, drawn in a square of the given size.
void paintQuaver(QPainter& painter, const QRectF& square) {
  const qreal s = square.width();
  painter.save();
  painter.translate(square.topLeft());
  painter.setPen(Qt::NoPen);
  painter.setBrush(kHeadingColour);
  painter.save();
  painter.translate(0.36 * s, 0.80 * s);
  painter.rotate(-22);
  painter.drawEllipse(QPointF(0, 0), 0.17 * s, 0.115 * s);
  painter.restore();
  painter.drawRect(QRectF(0.485 * s, 0.12 * s, 0.045 * s, 0.66 * s));
  QPainterPath flag;
  flag.moveTo(0.53 * s, 0.12 * s);
  flag.cubicTo(0.56 * s, 0.30 * s, 0.80 * s, 0.34 * s, 0.72 * s, 0.62 * s);
  flag.cubicTo(0.76 * s, 0.40 * s, 0.62 * s, 0.33 * s, 0.53 * s, 0.30 * s);
  flag.closeSubpath();
  painter.drawPath(flag);
  painter.restore();
}

void paintTitlePage(QPainter& painter, const PageGeometry& page, const FontChoice& fonts, const QString& version,
                    const std::vector<Part>& parts) {
  const QRectF area = page.body.united(page.header).united(page.footer);
  const qreal unit = area.width() / 100;
  painter.save();
  paintQuaver(painter, QRectF(area.center().x() - 9 * unit, area.top() + 18 * unit, 18 * unit, 18 * unit));
  painter.setPen(kHeadingColour);
  painter.setFont(makeFont(fonts.latin, fonts, 40, true));
  QRectF line(area.left(), area.top() + 40 * unit, area.width(), 14 * unit);
  painter.drawText(line, Qt::AlignCenter, QStringLiteral("Quaverly"));
  painter.setFont(makeFont(fonts.japanese, fonts, 20));
  line.translate(0, 12 * unit);
  painter.drawText(line, Qt::AlignCenter, QStringLiteral("クェイバリー"));
  painter.setPen(Qt::black);
  painter.setFont(makeFont(fonts.latin, fonts, 16));
  line.translate(0, 16 * unit);
  line.setHeight(9 * unit);
  painter.drawText(line, Qt::AlignCenter, QStringLiteral("User Manual"));
  painter.setFont(makeFont(fonts.japanese, fonts, 16));
  line.translate(0, 8 * unit);
  painter.drawText(line, Qt::AlignCenter, QStringLiteral("ユーザーマニュアル"));
  if (!version.isEmpty()) {
    painter.setFont(makeFont(fonts.latin, fonts, 11));
    line.translate(0, 12 * unit);
    painter.drawText(line, Qt::AlignCenter, QStringLiteral("Version ") + version);
  }
  // Where each language begins.
  line.translate(0, 18 * unit);
  for (const Part& part : parts) {
    painter.setFont(makeFont(part.bodyFamily, fonts, 12));
    const QRectF left(area.left() + 25 * unit, line.top(), 35 * unit, line.height());
    const QRectF right(area.left() + 60 * unit, line.top(), 15 * unit, line.height());
    painter.drawText(left, Qt::AlignLeft | Qt::AlignVCenter, part.labels.titleLine);
    painter.drawText(right, Qt::AlignRight | Qt::AlignVCenter, QString::number(part.firstPage));
    line.translate(0, 7 * unit);
  }
  painter.restore();
}

std::optional<QString> readUtf8(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return QString::fromUtf8(file.readAll());
}

void fail(const QString& text) { std::fprintf(stderr, "manual-pdf: %s\n", qUtf8Printable(text)); }

}  // namespace

int main(int argc, char** argv) {
  // No display is needed, nor wanted: the build machine may have none.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QStringList args = application.arguments().mid(1);
  QString version;
  if (args.size() >= 2 && args[0] == QStringLiteral("--version")) {
    version = args[1];
    args = args.mid(2);
  }
  if (args.size() != 3) {
    fail(QStringLiteral("usage: manual-pdf [--version TEXT] OUTPUT.pdf EN.md JA.md"));
    return 2;
  }
  const QString outputPath = args[0];

  const std::optional<FontChoice> fonts = chooseFonts();
  if (!fonts) {
    fail(QStringLiteral("no Japanese font is installed (Debian: fonts-ipafont-gothic)"));
    return 1;
  }

  std::vector<Part> parts;
  const PartLabels* labels[] = {&kEnglish, &kJapanese};
  for (int i = 0; i < 2; ++i) {
    const std::optional<QString> markdown = readUtf8(args[1 + i]);
    if (!markdown || markdown->trimmed().isEmpty()) {
      fail(QStringLiteral("cannot read the manual text '%1'").arg(args[1 + i]));
      return 1;
    }
    Part part;
    part.labels = *labels[i];
    part.bodyFamily = i == 0 ? fonts->latin : fonts->japanese;
    part.body = std::make_unique<QTextDocument>();
    // Pictures are named relative to the Markdown file.
    part.body->setBaseUrl(QUrl::fromLocalFile(QFileInfo(args[1 + i]).absolutePath() + u'/'));
    part.body->setMarkdown(*markdown, QTextDocument::MarkdownDialectGitHub);
    if (const std::optional<QString> missing = fitPictures(*part.body)) {
      fail(QStringLiteral("cannot read the picture '%1' of '%2'").arg(*missing, args[1 + i]));
      return 1;
    }
    styleDocument(*part.body, part.bodyFamily, *fonts);
    part.contents = std::make_unique<QTextDocument>();
    parts.push_back(std::move(part));
  }

  QSaveFile output(outputPath);
  if (!output.open(QIODevice::WriteOnly)) {
    fail(QStringLiteral("cannot write '%1': %2").arg(outputPath, output.errorString()));
    return 1;
  }
  QPdfWriter writer(&output);
  writer.setTitle(QStringLiteral("Quaverly User Manual / クェイバリー ユーザーマニュアル"));
  writer.setCreator(QStringLiteral("Quaverly manual-pdf"));
  writer.setPageLayout(
      QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 14, 20, 12), QPageLayout::Millimeter));

  // Header and footer bands of 8 mm inside the margins; the body between them.
  const QRect paintRect = writer.pageLayout().paintRectPixels(writer.resolution());
  const qreal band = 8.0 / 25.4 * writer.resolution();
  PageGeometry page;
  page.header = QRectF(0, 0, paintRect.width(), band * 0.7);
  page.body = QRectF(0, band, paintRect.width(), paintRect.height() - 2 * band);
  page.footer = QRectF(0, paintRect.height() - band * 0.8, paintRect.width(), band * 0.8);

  // Lay out the bodies first: the contents and the title page need their page numbers.
  for (Part& part : parts) {
    prepareDocument(*part.body, &writer, page);
    keepTogether(*part.body, page.body.height());
    part.bodyPages = pagesOf(*part.body, page.body.height());
    part.headings = headingsOf(*part.body, page.body.height());
    prepareDocument(*part.contents, &writer, page);
    buildContents(*part.contents, part, *fonts, 0);
    part.contentsPages = pagesOf(*part.contents, page.body.height());
  }
  int next = 2;  // page 1 is the title page
  for (Part& part : parts) {
    part.firstPage = next;
    next += part.contentsPages + part.bodyPages;
    buildContents(*part.contents, part, *fonts, part.firstPage + part.contentsPages);
    part.contentsPages = pagesOf(*part.contents, page.body.height());
  }

  QPainter painter;
  if (!painter.begin(&writer)) {
    fail(QStringLiteral("cannot start the PDF '%1'").arg(outputPath));
    return 1;
  }
  paintTitlePage(painter, page, *fonts, version, parts);
  int number = 1;
  for (const Part& part : parts) {
    for (int i = 0; i < part.contentsPages; ++i) {
      writer.newPage();
      paintDocumentPage(painter, *part.contents, page, i);
      paintFrame(painter, page, *fonts, part.bodyFamily, part.labels.contents, part.labels.footer, ++number);
    }
    for (int i = 0; i < part.bodyPages; ++i) {
      writer.newPage();
      paintDocumentPage(painter, *part.body, page, i);
      paintFrame(painter, page, *fonts, part.bodyFamily, chapterOf(part, i), part.labels.footer, ++number);
    }
  }
  painter.end();
  if (!output.commit()) {
    fail(QStringLiteral("cannot write '%1': %2").arg(outputPath, output.errorString()));
    return 1;
  }
  std::printf("%s: %d pages\n", qUtf8Printable(outputPath), number);
  return 0;
}
