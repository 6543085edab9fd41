// Carries a failure out of a decoding dependency's callback back to the reader that called the
// dependency. It never leaves the library: the reader catches it and turns it into a status.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace ImgCore {

class ImgException : public std::exception {
public:
    explicit ImgException(const char* message) : ImgException(message, 0) {}
    ImgException(const char* message, std::int32_t code)
        : code(code), message(message != nullptr ? message : "") {}
    ImgException(const ImgException& other) = default;
    ~ImgException() override = default;

    const char* what() const noexcept override { return message.c_str(); }

    std::int32_t code;
    std::string message;
};

} // namespace ImgCore
