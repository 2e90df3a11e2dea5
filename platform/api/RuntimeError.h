#pragma once
// The run-time error of the Windows program: a number, the source that raised
// it and a description. Procedures that trap errors catch it and log it; an
// error that reaches the caller travels as this exception.
#include <stdexcept>
#include <string>

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(long number, std::string source, std::string description);

    long Number() const { return number_; }
    const std::string& Source() const { return source_; }
    const std::string& Description() const { return description_; }

    // The run-time's own errors, with its standard descriptions.
    static RuntimeError InvalidProcedureCall(const std::string& source = "Quarnel");  // 5
    static RuntimeError Overflow(const std::string& source = "Quarnel");              // 6
    static RuntimeError SubscriptOutOfRange(const std::string& source = "Quarnel");   // 9
    static RuntimeError TypeMismatch(const std::string& source = "Quarnel");          // 13
    static RuntimeError BadFileNameOrNumber(const std::string& source = "Quarnel");   // 52
    static RuntimeError FileNotFound(const std::string& source = "Quarnel");          // 53
    static RuntimeError FileAlreadyOpen(const std::string& source = "Quarnel");       // 55
    static RuntimeError FileAlreadyExists(const std::string& source = "Quarnel");     // 58
    static RuntimeError PermissionDenied(const std::string& source = "Quarnel");      // 70
    static RuntimeError PathFileAccessError(const std::string& source = "Quarnel");   // 75
    static RuntimeError PathNotFound(const std::string& source = "Quarnel");          // 76
    static RuntimeError ObjectRequired(const std::string& source = "Quarnel");        // 424
    static RuntimeError CannotCreateObject(const std::string& source = "Quarnel");    // 429
    static RuntimeError AutomationError(long number, const std::string& description,
                                        const std::string& source = "Quarnel");

private:
    long number_;
    std::string source_;
    std::string description_;
};
