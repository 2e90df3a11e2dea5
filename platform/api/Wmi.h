#pragma once
// WMI of the emulated machine: a "winmgmts:" moniker gives a service object
// whose ExecQuery reads WQL of the form SELECT <* | properties> FROM <class>
// [WHERE <property> <op> <literal> [AND ...]] (ops =, <>, !=, IS [NOT] NULL;
// string literals in ' or " with \ escapes, numbers, TRUE, FALSE). Class and
// property names, and text comparisons, ignore letter case as WMI does.
// The classes are answered from the host; each is one entry of the class
// table in Wmi.cpp. Errors are raised as RuntimeError with WMI's HRESULT.
// ExecNotificationQuery serves the creation events of Win32_NTLogEvent: its
// event source wakes on the event log's doorbell and hands each new record
// once, in order.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/api/Variant.h"

namespace wmi {

// HRESULTs as the run time reports them (negative 32-bit numbers).
constexpr long WBEM_E_FAILED = -2147217407;              // 0x80041001
constexpr long WBEM_E_NOT_FOUND = -2147217406;           // 0x80041002
constexpr long WBEM_E_NOT_SUPPORTED = -2147217396;       // 0x8004100C
constexpr long WBEM_E_INVALID_NAMESPACE = -2147217394;   // 0x8004100E
constexpr long WBEM_E_INVALID_CLASS = -2147217392;       // 0x80041010
constexpr long WBEM_E_INVALID_QUERY = -2147217385;       // 0x80041017
constexpr long WBEM_E_CALL_CANCELLED = -2147217358;      // 0x80041032
constexpr long MK_E_SYNTAX = -2147221020;                // 0x800401E4
constexpr long RPC_S_SERVER_UNAVAILABLE = -2147023174;   // 0x800706BA
constexpr long OBJECT_DOESNT_SUPPORT = 438;              // late-bound member missing

class Object;
struct ClassProvider;

struct PropertyValue {
    std::string name;
    vb::Variant value;
};

// A method receives its object and its arguments (out arguments are written
// back into the list) and returns the method's result.
using MethodBody = std::function<vb::Variant(const Object&, std::vector<vb::Variant>&)>;

struct ClassMethod {
    std::string name;
    MethodBody body;
};

// One WMI class: its name, the names of its properties, how its instances
// are read from the host, and its methods.
struct ClassProvider {
    std::string name;
    std::vector<std::string> properties;
    std::function<std::vector<Object>(const ClassProvider&)> instances;
    std::vector<ClassMethod> methods;
};

// An instance as a query returns it: a snapshot of its properties.
class Object {
public:
    Object(const ClassProvider& cls, std::vector<PropertyValue> properties);
    // An event object that embeds the instance it is about.
    Object(const ClassProvider& cls, std::vector<PropertyValue> properties, std::shared_ptr<const Object> target);

    const std::string& ClassName() const;
    bool HasProperty(const std::string& name) const;
    // Raises 438 when the class has no such property.
    vb::Variant Property(const std::string& name) const;
    const std::vector<PropertyValue>& Properties() const { return properties_; }
    // Raises 438 when the class has no such method.
    vb::Variant ExecMethod(const std::string& name, std::vector<vb::Variant>& arguments) const;

    // Win32_Process: owner's user and domain; 0 on success.
    long GetOwner(std::string& user, std::string& domain) const;
    // Win32_Process: 0 when the process was ended, 2 when that was refused or it is gone.
    long Terminate(long reason = 0) const;

    // __InstanceCreationEvent: the instance that was created; raises 438 on other objects.
    const Object& TargetInstance() const;

private:
    const ClassProvider* class_;
    std::vector<PropertyValue> properties_;
    std::shared_ptr<const Object> target_;
};

using ObjectSet = std::vector<Object>;

// --- WQL ----------------------------------------------------------------------
struct WqlCondition {
    enum class Op { Equal, NotEqual, IsNull, IsNotNull };
    std::string property;
    Op op = Op::Equal;
    vb::Variant literal;
};

struct WqlQuery {
    std::string className;
    std::vector<std::string> properties;  // empty for *; checked, every property is still returned
    std::vector<WqlCondition> conditions; // all must hold
};

// Raises WBEM_E_INVALID_QUERY for text it cannot read.
WqlQuery ParseWql(const std::string& wql);
bool Matches(const Object& object, const WqlCondition& condition);

// --- Monikers and the service ----------------------------------------------------
struct Moniker {
    std::string server = ".";
    std::string nameSpace = "root\\cimv2";
    std::string impersonationLevel;
    std::string authenticationLevel;
    std::vector<std::string> privileges;
    std::string objectPath;  // the part after ':' naming a class or instance
};

// Raises MK_E_SYNTAX for a text that is not a winmgmts moniker.
Moniker ParseMoniker(const std::string& moniker);

// SWbemEventSource of the event-log creation events. NextEvent has no
// time-out: it runs a nested Qt event loop (or, without an application
// object, blocks) until a record newer than the last one it delivered is in
// the store, and gives one event per call. It raises WBEM_E_FAILED when the
// store disappears or cannot be read, WBEM_E_CALL_CANCELLED when the
// application leaves its event loops during the wait.
class EventSource {
public:
    EventSource();
    ~EventSource();
    EventSource(EventSource&&) noexcept;
    EventSource& operator=(EventSource&&) noexcept;

    Object NextEvent();

private:
    friend class Services;
    struct State;
    std::unique_ptr<State> state_;
};

class Services {
public:
    explicit Services(Moniker moniker) : moniker_(std::move(moniker)) {}
    ObjectSet ExecQuery(const std::string& wql) const;
    ObjectSet InstancesOf(const std::string& className) const;
    // Only "Select * From __InstanceCreationEvent Where TargetInstance isa
    // 'Win32_NTLogEvent'" (letter case and spacing free) is served; other
    // texts raise WBEM_E_INVALID_QUERY, a store that cannot be opened WBEM_E_FAILED.
    EventSource ExecNotificationQuery(const std::string& wql) const;
    const Moniker& Location() const { return moniker_; }

private:
    Moniker moniker_;
};

// GetObject("winmgmts:..."): only this machine and root\cimv2 are served;
// another server raises RPC_S_SERVER_UNAVAILABLE, another namespace
// WBEM_E_INVALID_NAMESPACE, an object path WBEM_E_NOT_SUPPORTED.
Services GetObject(const std::string& moniker);

// The class table entry for a name, or nullptr.
const ClassProvider* FindClass(const std::string& className);

}  // namespace wmi
