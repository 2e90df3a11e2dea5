#include "platform/api/RuntimeError.h"

RuntimeError::RuntimeError(long number, std::string source, std::string description)
    : std::runtime_error(description), number_(number), source_(std::move(source)),
      description_(std::move(description)) {}

RuntimeError RuntimeError::InvalidProcedureCall(const std::string& s) { return {5, s, "Invalid procedure call or argument"}; }
RuntimeError RuntimeError::Overflow(const std::string& s) { return {6, s, "Overflow"}; }
RuntimeError RuntimeError::SubscriptOutOfRange(const std::string& s) { return {9, s, "Subscript out of range"}; }
RuntimeError RuntimeError::TypeMismatch(const std::string& s) { return {13, s, "Type mismatch"}; }
RuntimeError RuntimeError::BadFileNameOrNumber(const std::string& s) { return {52, s, "Bad file name or number"}; }
RuntimeError RuntimeError::FileNotFound(const std::string& s) { return {53, s, "File not found"}; }
RuntimeError RuntimeError::FileAlreadyOpen(const std::string& s) { return {55, s, "File already open"}; }
RuntimeError RuntimeError::FileAlreadyExists(const std::string& s) { return {58, s, "File already exists"}; }
RuntimeError RuntimeError::PermissionDenied(const std::string& s) { return {70, s, "Permission denied"}; }
RuntimeError RuntimeError::PathFileAccessError(const std::string& s) { return {75, s, "Path/File access error"}; }
RuntimeError RuntimeError::PathNotFound(const std::string& s) { return {76, s, "Path not found"}; }
RuntimeError RuntimeError::ObjectRequired(const std::string& s) { return {424, s, "Object required"}; }
RuntimeError RuntimeError::CannotCreateObject(const std::string& s) { return {429, s, "ActiveX component can't create object"}; }
RuntimeError RuntimeError::AutomationError(long number, const std::string& d, const std::string& s) { return {number, s, d}; }
