#pragma once
// The few shapes of a Windows variant that the host layer hands back:
// empty, null, whole number, floating number, Boolean and text.
#include <cstdint>
#include <string>
#include <variant>

namespace vb {

struct Empty {};
struct Null {};

class Variant {
public:
    Variant() = default;
    Variant(Null) : value_(Null{}) {}
    Variant(bool b) : value_(b) {}
    Variant(int n) : value_(static_cast<std::int64_t>(n)) {}
    Variant(long n) : value_(static_cast<std::int64_t>(n)) {}
    Variant(long long n) : value_(static_cast<std::int64_t>(n)) {}
    Variant(unsigned n) : value_(static_cast<std::int64_t>(n)) {}
    Variant(double d) : value_(d) {}
    Variant(std::string s) : value_(std::move(s)) {}
    Variant(const char* s) : value_(std::string(s)) {}

    bool IsEmpty() const { return std::holds_alternative<Empty>(value_); }
    bool IsNull() const { return std::holds_alternative<Null>(value_); }
    bool IsText() const { return std::holds_alternative<std::string>(value_); }

    // Conversions as the run time makes them; a failing one raises error 13
    // (Null raises 94 "Invalid use of Null").
    std::string ToText() const;
    std::int64_t ToNumber() const;
    bool ToBool() const;

    const auto& Raw() const { return value_; }

private:
    std::variant<Empty, Null, bool, std::int64_t, double, std::string> value_;
};

}  // namespace vb
