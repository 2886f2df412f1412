#include "ScanSession.h"

#include <unistd.h>

#include <cctype>

namespace vessamo::cli {

std::string problemLine(const Status& problem) {
    std::string label;
    switch (problem.code()) {
        case StatusCode::notFound:
            label = "Not found";
            break;
        case StatusCode::corrupt:
            // "ChatStorage.sqlite is damaged: ..." needs no label before it.
            if (problem.message().find(" is damaged") != std::string::npos) {
                return problem.message();
            }
            label = "Damaged";
            break;
        default:
            label = statusCodeName(problem.code());
            label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
    }
    return label + ": " + problem.message();
}

void ScanSession::Reporter::problem(std::string_view, const Status& status) {
    progress_.note(problemLine(status));
}

ScanSession::ScanSession(std::ostream& err)
    : progress_(err, isatty(STDERR_FILENO) != 0), reporter_(progress_) {}

ScanResultPtr ScanSession::scan(const ScanSource& source) {
    ScanResultPtr result = Scanner::scan(source.record.backUpFilePath, source.kind, source.options,
                                         InterruptWatcher::stopToken(), reporter_);
    progress_.finish(!interrupted());
    return result;
}

}  // namespace vessamo::cli
