#include "HostContractLog.h"

namespace host {

void HostContractLog::Record(const std::string& in_message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errors.push_back(in_message);
}

std::vector<std::string> HostContractLog::Errors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}

void HostContractLog::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errors.clear();
}

}  // namespace host
