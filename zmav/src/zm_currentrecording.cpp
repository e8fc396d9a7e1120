// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_currentrecording.h"

#include <zmav/zm_avmanager.h>

namespace ZM {

ZM_CurrentRecording& ZM_CurrentRecording::instance()
{
    static ZM_CurrentRecording current;
    return current;
}

ZM_CurrentRecording::~ZM_CurrentRecording()
{
    replace(nullptr);
}

void ZM_CurrentRecording::replace(std::unique_ptr<ZM_AVManager> next)
{
    std::lock_guard<std::mutex> control(m_control);
    retire();
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

// The call is counted among the recording's producers while the recording is still in reach,
// so retiring it (which stops it, and stopping waits for its producers) cannot delete it under
// the call.
bool ZM_CurrentRecording::use(const std::function<bool(ZM_AVManager&)>& action)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_manager)
        return false;
    ZM_AVManager& manager = *m_manager;
    const ZM_AVManager::WriterGuard inside(manager);
    lock.unlock();
    return action(manager);
}

bool ZM_CurrentRecording::stats(ZMAV_Stats* out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (ZM_AVManager* manager = m_manager ? m_manager : m_retiring)
        *out = manager->stats();
    else if (m_haveLast)
        *out = m_last;
    else
        return false;
    return true;
}

std::string ZM_CurrentRecording::lastError()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (ZM_AVManager* manager = m_manager ? m_manager : m_retiring)
        return manager->writeError().empty() ? m_initError : manager->writeError();
    return m_lastWriteError.empty() ? m_initError : m_lastWriteError;
}

int ZM_CurrentRecording::writeFailures()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (ZM_AVManager* manager = m_manager ? m_manager : m_retiring)
        return manager->writeFailures();
    return m_lastWriteFailures;
}

// A failed init leaves no recording, so an earlier one's write error no longer applies.
void ZM_CurrentRecording::setInitError(const std::string& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_initError = error;
    if (!error.empty()) {
        m_lastWriteError.clear();
        m_lastWriteFailures = 0;
    }
}

void ZM_CurrentRecording::setChoices(const ZM_EncoderChoices& choices)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_choices = choices;
}

ZM_EncoderChoices ZM_CurrentRecording::choices()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_choices;
}

// First out of reach of new capture calls; stopping then releases the calls blocked in the
// intake and waits until none of them is inside the recording any more.
void ZM_CurrentRecording::retire()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::unique_ptr<ZM_AVManager> old(m_manager);
    m_manager = nullptr;
    m_retiring = old.get();
    lock.unlock();
    if (!old)
        return;
    old->ZM_Stop();
    lock.lock();
    m_last = old->stats();
    m_lastWriteFailures = old->writeFailures();
    m_lastWriteError = old->writeError();
    m_haveLast = true;
    m_retiring = nullptr;
    lock.unlock();
    old.reset();
}

} // namespace ZM
