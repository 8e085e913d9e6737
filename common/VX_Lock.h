// Recursive mutual-exclusion lock and its scoped guard, shared by the link
// library and the scope plug-in.
#pragma once

#include <mutex>

class VX_Lock
{
public:
    VX_Lock();
    virtual ~VX_Lock();

    VX_Lock(const VX_Lock&) = delete;
    VX_Lock& operator=(const VX_Lock&) = delete;

    void Lock();
    void Unlock();

private:
    std::recursive_mutex m_mutex;
};

// Takes the lock on construction and releases it on destruction, so every
// return path (and an exception passing through) unlocks.
class VX_LockGurad
{
public:
    explicit VX_LockGurad(VX_Lock* lock);
    virtual ~VX_LockGurad();

    VX_LockGurad(const VX_LockGurad&) = delete;
    VX_LockGurad& operator=(const VX_LockGurad&) = delete;

private:
    VX_Lock* m_lock;
};
