// Lays out the help topics as one HTML page with its style sheet inline.
#include "HelpPage.h"

namespace {

// Body text is 10 pt Arial and headings bold, as in the help file, in a
// column narrow enough to read.
const char kStyle[] =
    "body { font-family: Arial, Helvetica, sans-serif; font-size: 10pt; line-height: 1.45;"
    " color: #000; background: #fff; max-width: 44em; margin: 1.5em auto; padding: 0 1em; }\r\n"
    "h1 { font-size: 16pt; margin: 0 0 0.6em; }\r\n"
    "h2 { font-size: 12pt; margin: 1.8em 0 0.5em; padding-top: 0.6em; border-top: 1px solid #aaa; }\r\n"
    "nav ul { margin: 0; padding-left: 1.4em; }\r\n"
    "a { color: #00c; }\r\n";

// The characters that HTML reads as markup, in text and in quoted attribute values.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c; break;
        }
    }
    return out;
}

}  // namespace

std::string BuildHelpPage(const HelpSource& source) {
    std::string page;
    auto line = [&page](const std::string& text) { page += text + "\r\n"; };

    // The source holds printable ASCII only, which UTF-8 reads the same.
    line("<!DOCTYPE html>");
    line("<html lang=\"en\">");
    line("<head>");
    line("<meta charset=\"utf-8\">");
    line("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    line("<title>" + Escaped(source.title) + "</title>");
    page += "<style>\r\n";
    page += kStyle;
    line("</style>");
    line("</head>");
    line("<body>");
    line("<h1>" + Escaped(source.title) + "</h1>");
    line("<nav>");
    line("<ul>");
    for (const HelpTopic& topic : source.topics) {
        line("<li><a href=\"#" + Escaped(topic.contextName) + "\">" + Escaped(topic.title) + "</a></li>");
    }
    line("</ul>");
    line("</nav>");
    for (const HelpTopic& topic : source.topics) {
        line("<section id=\"" + Escaped(topic.contextName) + "\">");
        line("<h2>" + Escaped(topic.title) + "</h2>");
        for (const std::string& paragraph : topic.paragraphs) line("<p>" + Escaped(paragraph) + "</p>");
        line("</section>");
    }
    line("</body>");
    line("</html>");
    return page;
}
