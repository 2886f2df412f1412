#include "export/KTHtmlController.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "export/HtmlText.h"

namespace vessamo {

namespace fs = std::filesystem;

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

std::string writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return n < 0 ? std::strerror(errno) : "nothing written";
        }
        done += static_cast<size_t>(n);
    }
    return {};
}

// The page as UTF-16LE with its mark, converted a slice at a time: a long
// page is never held a second time, twice its size, just to be written.
std::string writeUtf16Page(int fd, std::string_view utf8) {
    constexpr size_t kSlice = 64 * 1024;
    std::string units = utf16LeWithBom("");
    size_t pos = 0;
    std::string error;
    while (error.empty() && (pos < utf8.size() || !units.empty())) {
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
        error = writeAll(fd, units);
        units.clear();
    }
    return error;
}

// Writes through a private temporary file in the same folder and renames it
// over the target, so a reader never sees half a page. Empty on success,
// otherwise the reason.
std::string writeAtomically(const std::string& path, std::string_view utf8) {
    const fs::path target(path);
    std::string temp = (target.parent_path() / ".vessamo-page-XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return std::strerror(errno);
    }
    std::string error = writeUtf16Page(fd, utf8);
    if (error.empty() && ::fchmod(fd, 0644) != 0) {
        error = std::strerror(errno);
    }
    if (::close(fd) != 0 && error.empty()) {
        error = std::strerror(errno);
    }
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
    }
    if (!error.empty()) {
        ::unlink(temp.c_str());
    }
    return error;
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

bool KTHtmlController::writeHtmlInPath(const std::string& path, ExportReport& report) {
    strHtmlContent += "</div></div></body></html>";
    const std::string error = writeAtomically(path, strHtmlContent);
    if (error.empty()) {
        ++report.filesWritten;
        return true;
    }
    report.failures.push_back("cannot write page " + path + ": " + error);
    const std::string fallback = (fs::path(path).parent_path() / "Untitled.html").string();
    const std::string fallbackError = writeAtomically(fallback, strHtmlContent);
    if (fallbackError.empty()) {
        ++report.filesWritten;
        return true;
    }
    report.failures.push_back("cannot write page " + fallback + ": " + fallbackError);
    return false;
}

}  // namespace vessamo
