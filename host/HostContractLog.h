// What a host object saw a plug-in do against the host contract: a call of a slot the plug-ins
// must not call, arguments that do not fit (a matrix of the wrong size, a null buffer), an index
// out of range. Tests check that it stays empty. Recording allocates, but only when a violation
// happens, which already fails the test.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace host {

class HostContractLog {
public:
    void Record(const std::string& in_message);
    std::vector<std::string> Errors() const;
    void Clear();

private:
    mutable std::mutex m_mutex;  // the plug-in's threads record, the test thread reads
    std::vector<std::string> m_errors;
};

}  // namespace host
