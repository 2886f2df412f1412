#include "common/Status.h"

#include <cerrno>
#include <cstring>

namespace vessamo {

Status Status::fromErrno(std::string_view what) {
    const int error = errno;
    std::string message(what);
    message += ": ";
    message += std::strerror(error);
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return notFound(std::move(message));
        case EEXIST:
            return alreadyExists(std::move(message));
        default:
            return ioError(std::move(message));
    }
}

std::string_view statusCodeName(StatusCode code) {
    switch (code) {
        case StatusCode::ok:
            return "OK";
        case StatusCode::notFound:
            return "not found";
        case StatusCode::corrupt:
            return "damaged";
        case StatusCode::ioError:
            return "I/O error";
        case StatusCode::alreadyExists:
            return "already exists";
        case StatusCode::cancelled:
            return "cancelled";
        case StatusCode::invalid:
            return "invalid";
        case StatusCode::busy:
            return "busy";
    }
    return "unknown";
}

std::string Status::toString() const {
    std::string text(statusCodeName(code_));
    if (!message_.empty()) {
        text += ": ";
        text += message_;
    }
    return text;
}

}  // namespace vessamo
