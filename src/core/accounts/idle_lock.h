#pragma once
// When the desktop program locks itself: with accounts on and a limit above
// zero, after that long without a key or mouse input anywhere in the
// application. Only the user who was working, or an administrator (who then
// becomes the user), may open it again.
#include "core/accounts/actor.h"

#include <QObject>
#include <QTimer>

class IdleLock : public QObject {
    Q_OBJECT
  public:
    explicit IdleLock(QObject* parent = nullptr);
    ~IdleLock() override;

    // Starts watching the application's input for `user`; accounts off or a
    // limit of 0 ms never locks.
    void Watch(const Actor& user, int limitMs);
    bool IsLocked() const { return m_locked; }
    const Actor& User() const { return m_user; }

    // Opens the lock for `who`, who has just logged in; false (still locked)
    // when they may not take over the session.
    bool Unlock(const Actor& who);
    static bool MayUnlock(const Actor& locked, const Actor& who);

  signals:
    void Locked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void lock();

    Actor m_user;
    QTimer m_timer;
    bool m_locked = false;
    bool m_filtering = false;
};
