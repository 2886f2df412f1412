#pragma once

#include <string>
#include <string_view>

#include "export/ExportReport.h"

namespace vessamo {

// Builds one chat page: the fixed head with its style sheet, the markup the
// export appends, and the closing tags when the page is written.
class KTHtmlController {
public:
    KTHtmlController() = default;

    // Starts the page over with the title as both the window title and the
    // heading. The title is plain text and is escaped here.
    void initMessageHtmlHeader(std::string_view title);
    // Appends markup as it stands; callers escape what they insert into it.
    void addHtmlContent(std::string_view markup);
    // Closes the page and writes it as UTF-16LE with a byte-order mark,
    // replacing the file in one step. When that fails the page goes to
    // "Untitled.html" beside it. Each file that could not be written is one
    // line of the report; true when the page landed somewhere. With a root
    // (the export's destination), the page's folder is entered from it
    // without following links.
    bool writeHtmlInPath(const std::string& path, ExportReport& report,
                         const std::string& root = {});

    std::string strHtmlContent;
};

}  // namespace vessamo
