#include "LockstepCpu.h"

#include <pthread.h>

namespace scene {

LockstepCpu::LockstepCpu() {
    CPU_ZERO(&m_former);
    if (pthread_getaffinity_np(pthread_self(), sizeof(m_former), &m_former) != 0 ||
        CPU_COUNT(&m_former) < 2) {
        return;
    }
    const int iCpu = sched_getcpu();
    if (iCpu < 0 || iCpu >= CPU_SETSIZE || !CPU_ISSET(iCpu, &m_former)) {
        return;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(iCpu, &one);
    if (pthread_setaffinity_np(pthread_self(), sizeof(one), &one) == 0) {
        m_iCpu = iCpu;
    }
}

LockstepCpu::~LockstepCpu() {
    if (m_iCpu >= 0) {
        pthread_setaffinity_np(pthread_self(), sizeof(m_former), &m_former);
    }
}

}  // namespace scene
