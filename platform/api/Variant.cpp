#include "platform/api/Variant.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "platform/api/RuntimeError.h"
#include "platform/host/Text.h"

namespace vb {

namespace {
RuntimeError InvalidUseOfNull() { return {94, "Quarnel", "Invalid use of Null"}; }

std::string DoubleText(double d) {
    std::ostringstream out;
    out.precision(15);
    out << d;
    return out.str();
}
}  // namespace

std::string Variant::ToText() const {
    struct Visitor {
        std::string operator()(Empty) const { return ""; }
        std::string operator()(Null) const { throw InvalidUseOfNull(); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int64_t n) const { return std::to_string(n); }
        std::string operator()(double d) const { return DoubleText(d); }
        std::string operator()(const std::string& s) const { return s; }
    };
    return std::visit(Visitor{}, value_);
}

std::int64_t Variant::ToNumber() const {
    struct Visitor {
        std::int64_t operator()(Empty) const { return 0; }
        std::int64_t operator()(Null) const { throw InvalidUseOfNull(); }
        std::int64_t operator()(bool b) const { return b ? -1 : 0; }
        std::int64_t operator()(std::int64_t n) const { return n; }
        std::int64_t operator()(double d) const { return static_cast<std::int64_t>(std::llround(d)); }
        std::int64_t operator()(const std::string& s) const {
            const auto number = platform::TextToNumber(s);
            if (!number) throw RuntimeError::TypeMismatch();
            if (std::fabs(*number) > 9.2e18) throw RuntimeError::Overflow();
            return static_cast<std::int64_t>(std::llround(*number));
        }
    };
    return std::visit(Visitor{}, value_);
}

bool Variant::ToBool() const { return ToNumber() != 0; }

}  // namespace vb
