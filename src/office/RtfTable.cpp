#include "office/RtfTable.h"

#include <array>

#include "office/MessageSheet.h"

namespace telvane::office {
namespace {

// A4 with margins of 2 cm left and 1.5 cm right leaves 9922 twips of text width, shared in the
// proportions 20 : 60 : 50 : 120.
constexpr int kTextWidth = 9922;
constexpr std::array<int, kTableColumns> kShares = {20, 60, 50, 120};
constexpr int kShareTotal = 250;

// Readers skip an unknown destination marked with \*; ours tells our files from others that
// carry the same name (Word re-saving the document drops it).
constexpr char kGenerator[] = "{\\*\\generator Telvane;}";

QByteArray escape(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out.append('\\').append(static_cast<char>(u));
        } else if (u == '\t') {
            out.append("\\tab ");
        } else if (u == '\n') {
            out.append("\\line ");
        } else if (u >= 0x20 && u < 0x80) {
            out.append(static_cast<char>(u));
        } else if (u == '\r') {
            // Line breaks arrive as CR LF pairs already turned into blanks; a lone CR has no
            // meaning in a cell.
        } else {
            // RTF takes signed 16-bit numbers; surrogate pairs go as two escapes.
            out.append("\\u").append(QByteArray::number(static_cast<qint16>(u))).append('?');
        }
    }
    return out;
}

QByteArray rowWith(const QStringList& cells, bool header) {
    QByteArray out;
    out.append(
        "\\trowd\\trgaph70\\trleft0\\trftsWidth2\\trwWidth5000"
        "\\trbrdrt\\brdrs\\brdrw30\\trbrdrl\\brdrs\\brdrw30\\trbrdrb\\brdrs\\brdrw30"
        "\\trbrdrr\\brdrs\\brdrw30\\trbrdrh\\brdrs\\brdrw10\\trbrdrv\\brdrs\\brdrw10");
    if (header) {
        out.append("\\trhdr");
    }
    out.append('\n');
    int right = 0;
    int share = 0;
    for (int c = 0; c < kTableColumns; ++c) {
        share += kShares[c];
        right = kTextWidth * share / kShareTotal;
        out.append(
               "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
               "\\clbrdrb\\brdrs\\brdrw")
            .append(header ? "30" : "10")
            .append("\\clbrdrr\\brdrs\\brdrw10");
        if (header) {
            // Classic 2: the header row in white bold on a dark blue ground.
            out.append("\\clcbpat3\\clshdng10000");
        }
        out.append("\\clftsWidth2\\clwWidth")
            .append(QByteArray::number(5000 * kShares[c] / kShareTotal))
            .append("\\cellx")
            .append(QByteArray::number(right))
            .append('\n');
    }
    out.append("\\pard\\intbl\\plain\\f0\\fs20");
    if (header) {
        out.append("\\b\\cf2");
    }
    out.append(' ');
    for (int c = 0; c < kTableColumns; ++c) {
        if (c < cells.size()) {
            out.append(escape(cells[c]));
        }
        out.append("\\cell ");
    }
    out.append("\\row\n");
    return out;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\0'; }

}  // namespace

QByteArray newRtfDocument() {
    QByteArray out;
    out.append("{\\rtf1\\ansi\\ansicpg1251\\deff0\\uc1\n");
    out.append(kGenerator).append('\n');
    out.append("{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\n");
    out.append(
        "{\\colortbl;\\red0\\green0\\blue0;\\red255\\green255\\blue255;"
        "\\red0\\green0\\blue128;}\n");
    out.append("\\paperw11906\\paperh16838\\margl1134\\margr850\\margt1134\\margb1134\n");
    out.append(rowWith(messageHeaders(), true));
    out.append('}');
    return out;
}

QByteArray rtfRow(long long number, const QStringList& fields) {
    QStringList cells{QString::number(number)};
    cells.append(fields.mid(0, kTableColumns - 1));
    return rowWith(cells, false);
}

RtfLayoutResult locateRtfTable(const QByteArray& document) {
    if (!document.startsWith("{\\rtf1")) {
        return {std::nullopt, QStringLiteral("does not start with an RTF header")};
    }
    if (!document.left(512).contains(kGenerator)) {
        return {std::nullopt, QStringLiteral("is an RTF document that the gateway did not write")};
    }
    qsizetype end = document.size();
    while (end > 0 && isSpace(document[end - 1])) {
        --end;
    }
    if (end == 0 || document[end - 1] != '}') {
        return {std::nullopt, QStringLiteral("does not end with the closing brace")};
    }
    const qsizetype brace = end - 1;
    qsizetype last = brace;
    while (last > 0 && isSpace(document[last - 1])) {
        --last;
    }
    if (!document.left(last).endsWith("\\row")) {
        return {std::nullopt, QStringLiteral("has content after its table (offset %1)").arg(last)};
    }
    // Count \row control words; an escaped backslash is skipped so that text cannot fake one.
    std::size_t rows = 0;
    int depth = 0;
    for (qsizetype i = 0; i < brace; ++i) {
        const char c = document[i];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth <= 0) {
                return {std::nullopt,
                        QStringLiteral("closes its outer group early (offset %1)").arg(i)};
            }
        } else if (c == '\\' && i + 1 < brace) {
            if (!isLetter(document[i + 1])) {
                ++i;
                continue;
            }
            qsizetype j = i + 1;
            while (j < brace && isLetter(document[j])) {
                ++j;
            }
            if (j - i - 1 == 3 && document.mid(i + 1, 3) == "row") {
                ++rows;
            }
            i = j - 1;
        }
    }
    if (depth != 1) {
        return {std::nullopt, QStringLiteral("has unbalanced braces")};
    }
    return {RtfLayout{static_cast<std::size_t>(brace), rows}, {}};
}

}  // namespace telvane::office
