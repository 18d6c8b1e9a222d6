#include "PageGenerator.h"

#include <QRandomGenerator>

namespace
{

const char *const Words[] = {
    "the",      "release", "version", "download",      "of",       "and",    "for",
    "project",  "update",  "notes",   "security",      "fixes",    "with",   "new",
    "features", "support", "build",   "install",       "package",  "Linux",  "a",
    "to",       "is",      "in",      "changes",       "improved", "Grüße",  "Köln",
    "über",     "naïve",   "page",    "mirror",        "checksum", "signed", "stable",
    "beta",     "archive", "older",   "documentation", "manual",   "FAQ"};

class Writer
{
public:
    explicit Writer(quint32 seed) : random(seed) {}

    QByteArray out;

    int pick(int n) { return int(random.bounded(n)); }
    const char *word() { return Words[pick(int(std::size(Words)))]; }

    void sentence(int words)
    {
        for (int i = 0; i < words; ++i) {
            if (i)
                out += ' ';
            if (pick(9) == 0) {
                out += "<a href=\"/files/";
                out += word();
                out += ".html\" class=\"link\">";
                out += word();
                out += "</a>";
            } else if (pick(15) == 0) {
                out += "<b>";
                out += word();
                out += "</b>";
            } else {
                out += word();
            }
        }
        out += ". ";
    }

    void paragraph()
    {
        out += "<p class=\"text\">";
        for (int s = 1 + pick(4); s > 0; --s)
            sentence(6 + pick(14));
        out += "</p>\n";
    }

    void navigation()
    {
        out += "<nav><ul class=\"menu\">\n";
        for (int i = 3 + pick(6); i > 0; --i) {
            out += "  <li><a href=\"/";
            out += word();
            out += "\">";
            out += word();
            out += "</a></li>\n";
        }
        out += "</ul></nav>\n";
    }

    void table()
    {
        out += "<table>\n<tr><th>File</th><th>Size</th><th>Date</th></tr>\n";
        for (int i = 2 + pick(8); i > 0; --i) {
            out += "<tr><td><a href=\"/dl/";
            out += word();
            out += "-" + QByteArray::number(pick(100)) + ".tar.gz\">";
            out += word();
            out += "</a></td><td>" + QByteArray::number(pick(90000)) + " KB</td><td>2024-0" +
                   QByteArray::number(1 + pick(9)) + "-1" + QByteArray::number(pick(10)) +
                   "</td></tr>\n";
        }
        out += "</table>\n";
    }

    void script()
    {
        out += "<script type=\"text/javascript\">\nvar n = ";
        out += QByteArray::number(pick(1000));
        out += "; for (var i = 0; i < n; i++) { track('";
        out += word();
        out += "'); }\n</script>\n";
    }

    void block()
    {
        switch (pick(10)) {
        case 0:
            navigation();
            break;
        case 1:
            table();
            break;
        case 2:
            script();
            break;
        case 3:
            out += "<!-- ";
            sentence(5);
            out += "-->\n";
            break;
        case 4:
            out += "<h2 id=\"s" + QByteArray::number(pick(1000)) + "\">";
            sentence(3);
            out += "</h2>\n";
            break;
        default:
            paragraph();
            break;
        }
    }

private:
    QRandomGenerator random;
};

} // namespace

QByteArray generatePage(qsizetype size, quint32 seed)
{
    Writer writer(seed);
    QByteArray &out = writer.out;
    out.reserve(size + 4096);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>Downloads</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n"
           "<style>body { font-family: sans-serif; } p > a { color: #036; }</style>\n"
           "</head>\n<body>\n<div id=\"page\">\n";
    const QByteArray end = "<p>Current release: version 2.25</p>\n</div>\n</body>\n</html>\n";
    while (out.size() + end.size() < size) {
        out += "<div class=\"section\">\n";
        for (int i = 3 + writer.pick(6); i > 0; --i)
            writer.block();
        out += "</div>\n";
    }
    out += end;
    return out;
}

QByteArray generateMarkupPage(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray out;
    out.reserve(size + 4096);
    out += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>\n";
    const QByteArray end = "<p>version 2.25</p></body></html>\n";
    while (out.size() + end.size() < size) {
        const QByteArray id = QByteArray::number(random.bounded(100000));
        out += "<div class=\"row\" id=\"r" + id + "\"><span class=\"c\"><a href=\"/i/" + id +
               "\"><img src=\"/p/" + id + ".png\" alt=\"\"></a></span><span>" +
               char('a' + random.bounded(26)) + "</span><br><i></i></div>\n";
    }
    out += end;
    return out;
}
