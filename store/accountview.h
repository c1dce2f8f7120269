// The page on which the user logs in to the store and out again, and which
// shows who is logged in. Requests go out asynchronously, each on a network
// manager of its own that goes away with its reply; the page stays usable
// meanwhile. A reply is read only when it is whole (see ReplyWatch), and a
// reply to a request sent before the latest logout is ignored, so a late
// answer cannot log the user back in. What went wrong with a login stays
// said under the fields for as long as it is true. The user record is kept in the settings
// after every change; the password is never logged, kept or put in a URL.
#pragma once

#include "replywatch.h"

#include <QWidget>

class QNetworkReply;
class User;

namespace Ui {
class AccountView;
}

class AccountView : public QWidget
{
    Q_OBJECT

public:
    // A user record without a device identifier is first filled from the
    // settings, so the record of the last run comes back with the first page.
    AccountView(QWidget *parent, User *user);
    ~AccountView() override;

    // Asks the store for the logged-in user's data; nothing when logged out.
    void getUserInfo();
    void logInUser();
    void logOutUser();
    // Takes the state from the user record and draws the page for it.
    void changeState();

    void setTimeouts(const NetTimeouts &limits) { m_timeouts = limits; }

signals:
    void userDataChanged();

public slots:
    void onfinish(QNetworkReply *reply);

private slots:
    void logInOrOut();
    void logInFromField();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // What the message under the fields says, so each kind goes when it is
    // no longer true: a refusal when the user types again, the others at the
    // next answer.
    enum MessageKind { None, Pending, Refused, Unreachable };

    void post(const QString &path, const QByteArray &form, bool read, bool login);
    void showMessage(const Phrase &message, MessageKind kind);
    void setLinks();
    QString creditText() const;

    Ui::AccountView *ui;
    User *m_user;
    int m_state = 0;
    // Counts logouts; a reply carries the count of its request.
    quint32 m_logouts = 0;
    MessageKind m_messageKind = None;
    Phrase m_message;
    NetTimeouts m_timeouts = NetTimeouts::forRequests();
};
