#include "export/KTHtmlController.h"

#include <algorithm>

#include "common/Files.h"
#include "export/HtmlText.h"

namespace vessamo {

namespace {

// The style sheet is part of the look users know from earlier exports, so
// it is kept character for character, tabs and stray blanks included.
constexpr std::string_view kGreyBubble =
    "background:#f3f3f3;word-break:break-all;width:200px;position:relative;padding:10px;"
    "margin:1em 0 3em;background:-webkit-gradient(linear, 0 0, 0 100%, from(#f3f3f3), "
    "to(#dedede));\tbackground:-moz-linear-gradient(#f3f3f3, #dedede);"
    "background:-o-linear-gradient(#f3f3f3, #dedede);background:linear-gradient(#f3f3f3, "
    "#dedede);\t-webkit-border-radius:10px;-moz-border-radius:10px;border-radius:10px;";

constexpr std::string_view kGreenBubble =
    "background:#addc53;word-break:break-all;width:200px; left:170px;position:relative;"
    "padding:10px;margin:1em 0 3em;background:-webkit-gradient(linear, 0 0, 0 100%, "
    "from(#addc53), to(#8eca35));\tbackground:-moz-linear-gradient(#addc53, #8eca35);"
    "background:-o-linear-gradient(#addc53, #8eca35);\tbackground:linear-gradient(#addc53, "
    "#8eca35);-webkit-border-radius:10px;-moz-border-radius:10px;border-radius:10px;";

constexpr std::string_view kBlueBubble =
    "background:#a0cff8;word-break:break-all;width:200px; left:170px;position:relative;"
    "padding:10px;margin:1em 0 3em;background:-webkit-gradient(linear, 0 0, 0 100%, "
    "from(#a0cff8), to(#87bfef));background:-moz-linear-gradient(#a0cff8, #87bfef);"
    "\tbackground:-o-linear-gradient(#a0cff8, #87bfef);background:linear-gradient(#a0cff8, "
    "#87bfef);-webkit-border-radius:10px;-moz-border-radius:10px;border-radius:10px;";

std::string styleSheet() {
    std::string css;
    auto rule = [&css](bool tab, std::string_view selector, std::string_view declarations) {
        if (tab) {
            css += '\t';
        }
        css.append(selector).append("{").append(declarations).append("}");
    };
    rule(false, "body ",
         "padding:0; margin:0; font:1em/1.4 Helvetica,Cambria, Georgia, sans-serif; "
         "color:#333;  font-size:12px; background:#fff;");
    rule(false, ".date ", "text-align:center;");
    rule(true, "#container ", "width:500px; padding:0 0 50px; margin:0 auto;");
    rule(false, "h1 ", "font-size:18px;text-align:center; font-weight:bold;");
    rule(false, "h3 ",
         "font-size:14px; font-weight:bold; font-style:normal; text-align:left;color:#272727; ");
    rule(true, ".triangle-isosceles ", kGreyBubble);
    rule(true, ".triangle-isosceles:after ",
         "content:'';position:absolute;bottom:-15px; left:30px; border-width:15px 15px 0; "
         "border-style:solid;border-color:#dedede transparent;display:block; width:0;");
    rule(true, ".content ", "width:400px; position:relative;z-index:1;");
    rule(true, ".triangle-isosceles2 ", kGreenBubble);
    rule(true, ".triangle-isosceles2:after ",
         "content:'';position:absolute;bottom:-15px; right:30px;border-width:15px 15px 0; "
         "border-style:solid;border-color:#8eca35 transparent;display:block; width:0;");
    rule(true, ".triangle-isosceles3 ", kBlueBubble);
    rule(true, ".triangle-isosceles3:after ",
         "content:'';position:absolute;bottom:-15px; right:30px;border-width:15px 15px 0; "
         "border-style:solid;border-color:#87bfef transparent;display:block; width:0;");
    rule(true, "hr", "height:1px;border:0;border-bottom:1px dotted #cccccc;margin:0;");
    rule(false, ".imgdic", "left:170px; position:relative;");
    return css;
}

// The page as UTF-16LE with its mark, converted a slice at a time: a long
// page is never held a second time, twice its size, just to be written.
Status writeUtf16Page(const std::string& path, std::string_view utf8, const std::string& root) {
    constexpr size_t kSlice = 64 * 1024;
    AtomicFileWriter file(path, WriteMode::replace, Flush::none, root);
    std::string units = utf16LeWithBom("");
    size_t pos = 0;
    while (file.status().ok() && (pos < utf8.size() || !units.empty())) {
        size_t end = std::min(utf8.size(), pos + kSlice);
        while (end < utf8.size() && end > pos &&
               (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) {
            --end;  // never split a character
        }
        if (end == pos) {
            end = std::min(utf8.size(), pos + kSlice);  // no character starts here at all
        }
        appendUtf16Le(units, utf8.substr(pos, end - pos));
        pos = end;
        file.append(units);
        units.clear();
    }
    return file.commit();
}

}  // namespace

void KTHtmlController::initMessageHtmlHeader(std::string_view title) {
    const std::string escaped = htmlEscape(title);
    strHtmlContent = "<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>";
    strHtmlContent.append(escaped).append("</title><style>").append(styleSheet());
    strHtmlContent.append("</style></head><body><h1>").append(escaped);
    strHtmlContent.append("</h1><div id='container'><div class='content'>");
}

void KTHtmlController::addHtmlContent(std::string_view markup) {
    strHtmlContent.append(markup);
}

bool KTHtmlController::writeHtmlInPath(const std::string& path, ExportReport& report,
                                       const std::string& root) {
    strHtmlContent += "</div></div></body></html>";
    const Status written = writeUtf16Page(path, strHtmlContent, root);
    if (written.ok()) {
        ++report.filesWritten;
        return true;
    }
    report.failures.push_back("cannot write page " + path + ": " + written.message());
    const std::string_view name = lastComponent(path);
    const std::string fallback = path.substr(0, path.size() - name.size()) + "Untitled.html";
    const Status fallbackWritten = writeUtf16Page(fallback, strHtmlContent, root);
    if (fallbackWritten.ok()) {
        ++report.filesWritten;
        return true;
    }
    report.failures.push_back("cannot write page " + fallback + ": " + fallbackWritten.message());
    return false;
}

}  // namespace vessamo
