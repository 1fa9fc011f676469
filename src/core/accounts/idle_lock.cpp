#include "core/accounts/idle_lock.h"

#include <QCoreApplication>
#include <QEvent>

IdleLock::IdleLock(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &IdleLock::lock);
}

IdleLock::~IdleLock()
{
    if (m_filtering && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void IdleLock::Watch(const Actor& user, int limitMs)
{
    m_user = user;
    m_locked = false;
    m_timer.stop();
    if (!user.accountsOn || limitMs <= 0)
        return;
    m_timer.setInterval(limitMs);
    if (!m_filtering && QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        m_filtering = true;
    }
    m_timer.start();
}

bool IdleLock::MayUnlock(const Actor& locked, const Actor& who)
{
    return who.accountsOn && (who.name == locked.name || who.role == Role::Admin);
}

bool IdleLock::Unlock(const Actor& who)
{
    if (!m_locked || !MayUnlock(m_user, who))
        return false;
    m_user = who;
    m_locked = false;
    m_timer.start();
    return true;
}

void IdleLock::lock()
{
    m_locked = true;
    emit Locked();
}

bool IdleLock::eventFilter(QObject* watched, QEvent* event)
{
    // Input while locked goes to the log-in only: it does not count as work.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        if (!m_locked && m_timer.interval() > 0 && m_user.accountsOn)
            m_timer.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
