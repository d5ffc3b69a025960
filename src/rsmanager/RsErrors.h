#pragma once

#include <stdexcept>
#include <string>

// The serial manager raises exceptions only for configuration errors; everything that happens
// on the line is reported by return codes.

class TErrIni : public std::runtime_error {
public:
    explicit TErrIni(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

class TErrRsManager : public std::runtime_error {
public:
    explicit TErrRsManager(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
