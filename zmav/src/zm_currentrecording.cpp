#include "zm_currentrecording.h"

#include <zmav/zm_avmanager.h>

namespace ZM {

ZM_CurrentRecording& ZM_CurrentRecording::instance()
{
    static ZM_CurrentRecording current;
    return current;
}

void ZM_CurrentRecording::replace(std::unique_ptr<ZM_AVManager> next)
{
    std::lock_guard<std::mutex> control(m_control);
    retire(takeOut());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_manager = next.release();
}

void ZM_CurrentRecording::control(const std::function<void(ZM_AVManager&)>& action)
{
    std::lock_guard<std::mutex> control(m_control);
    // The control mutex keeps the recording alive: only control calls destroy it.
    ZM_AVManager* manager;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        manager = m_manager;
    }
    if (manager)
        action(*manager);
}

bool ZM_CurrentRecording::use(const std::function<bool(ZM_AVManager&)>& action)
{
    ZM_AVManager* manager;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        manager = m_manager;
        if (!manager)
            return false;
        ++m_users;
    }
    const bool result = action(*manager);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_users == 0)
        m_idle.notify_all();
    return result;
}

std::unique_ptr<ZM_AVManager> ZM_CurrentRecording::takeOut()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::unique_ptr<ZM_AVManager> old(m_manager);
    m_manager = nullptr;
    return old;
}

// Stopping first releases capture calls blocked in the intake; the recording is deleted once
// none of them is inside it any more.
void ZM_CurrentRecording::retire(std::unique_ptr<ZM_AVManager> old)
{
    if (!old)
        return;
    old->ZM_Stop();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_users == 0; });
    lock.unlock();
    old.reset();
}

} // namespace ZM
