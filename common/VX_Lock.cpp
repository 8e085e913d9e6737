#include "VX_Lock.h"

VX_Lock::VX_Lock() = default;
VX_Lock::~VX_Lock() = default;

void VX_Lock::Lock()
{
    m_mutex.lock();
}

void VX_Lock::Unlock()
{
    m_mutex.unlock();
}

VX_LockGurad::VX_LockGurad(VX_Lock* lock)
    : m_lock(lock)
{
    m_lock->Lock();
}

VX_LockGurad::~VX_LockGurad()
{
    m_lock->Unlock();
}
