#include "accountview.h"

#include "storeanswer.h"
#include "storeendpoints.h"
#include "appsettings.h"
#include "ui_accountview.h"
#include "user.h"

#include <QDebug>
#include <QEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QXmlStreamReader>

namespace {

const char kLogouts[] = "velmarLogouts";
const char kLogin[] = "velmarLogin";

// UTF-8 with everything but the unreserved characters as %XX, so that "&",
// "=", "+" and "@" reach the store as they were typed.
QByteArray field(const char *name, const QString &value)
{
    return QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
}

// The store answers in English; what the program knows of its answers is
// said in the program's language, anything else as the store put it.
Phrase storeSays(const QString &text)
{
    if (text.trimmed().compare(QLatin1String("Wrong e-mail or password"), Qt::CaseInsensitive) == 0)
        return Phrase("AccountView", QT_TRANSLATE_NOOP("AccountView", "Wrong e-mail or password"));
    return Phrase::verbatim(text);
}

} // namespace

AccountView::AccountView(QWidget *parent, User *user)
    : QWidget(parent), ui(new Ui::AccountView), m_user(user)
{
    ui->setupUi(this);
    connect(ui->logButton, &QPushButton::clicked, this, &AccountView::logInOrOut);
    connect(ui->lineUsername, &QLineEdit::returnPressed, this, &AccountView::logInFromField);
    setFocusProxy(ui->lineMail);
    // A refusal stays until the user types other credentials.
    for (QLineEdit *field : {ui->lineMail, ui->lineUsername}) {
        connect(field, &QLineEdit::textEdited, this, [this] {
            if (m_messageKind == Refused)
                showMessage(Phrase(), None);
        });
    }
    if (m_user->getDevice().isEmpty())
        m_user->restore(programSettings());
    setLinks();
    changeState();
}

AccountView::~AccountView()
{
    delete ui;
}

void AccountView::setLinks()
{
    const QString link = QStringLiteral("<a href=\"%1%2\" style=\"color:#000000; text-decoration:underline;\">%3</a>");
    const QString base = StoreEndpoints::storeBase();
    ui->registrationLabel->setText(link.arg(base, QStringLiteral("/customer/account/create/"),
                                            tr("Don't you have a Melodrome account? Click here to create a new one")));
    ui->forgetLabel->setText(link.arg(base, QStringLiteral("/customer/account/forgotpassword/"),
                                      tr("Did you forget your password? Click here to recover it")));
}

void AccountView::post(const QString &path, const QByteArray &form, bool read, bool login)
{
    auto *manager = new QNetworkAccessManager(this);
    QNetworkRequest request(StoreEndpoints::storeUrl(path));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    ReplyWatch::verifyRedirects(request);
    QNetworkReply *reply = ReplyWatch::send(manager, request, "POST", form);
    reply->setProperty(kLogouts, m_logouts);
    reply->setProperty(kLogin, login);
    new ReplyWatch(reply, m_timeouts, "AccountView", ReplyWatch::kMaxRecordBytes);
    if (read)
        connect(manager, &QNetworkAccessManager::finished, this, &AccountView::onfinish);
    connect(manager, &QNetworkAccessManager::finished, manager, &QObject::deleteLater);
}

void AccountView::getUserInfo()
{
    if (!m_user->isUserLogged())
        return;
    post(QStringLiteral("/service/user_info.php"),
         field("id_user", QString::number(m_user->getUser_id())) + '&' + field("id_device", m_user->getDevice()),
         true, false);
}

void AccountView::logInUser()
{
    // Said at once: a store that does not answer takes a while to give up.
    showMessage(Phrase("AccountView", QT_TR_NOOP("Logging in…")), Pending);
    post(QStringLiteral("/service/login.php"),
         field("email", ui->lineMail->text()) + '&' + field("psw", ui->lineUsername->text()) + '&'
             + field("id_device", m_user->getDevice()),
         true, true);
}

void AccountView::logOutUser()
{
    post(QStringLiteral("/service/logout.php"),
         field("id_user", QString::number(m_user->getUser_id())) + '&' + field("id_device", m_user->getDevice()),
         false, false);
    ++m_logouts;
    m_state = 0;
    m_user->forgot();
    m_user->save(programSettings());
    ui->lineUsername->clear();
    changeState();
    emit userDataChanged();
    hide();
}

void AccountView::onfinish(QNetworkReply *reply)
{
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    if (reply->property(kLogouts).toUInt() != m_logouts) {
        qDebug().noquote() << "AccountView: reply to a request sent before the logout ignored";
        return;
    }
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    const QString failure = watch->failure(body.size());
    // Nothing of a body that is not the store's answer is read: a half
    // answer would log in a user with half a record.
    const Phrase unreadable =
        failure.isEmpty() ? StoreAnswer::reason(body, reply->rawHeader("Content-Type")) : Phrase();
    if (!failure.isEmpty() || !unreadable.isEmpty()) {
        qWarning().noquote() << "AccountView: request failed," << (failure.isEmpty() ? unreadable.text() : failure)
                             << ":" << reply->url().toString();
        // The connection is named only where it is at fault.
        if (reply->property(kLogin).toBool())
            showMessage((failure.isEmpty() || !watch->connectionFailed(body.size())
                             ? Phrase("AccountView", QT_TR_NOOP("You are not logged in: %1."))
                             : Phrase("AccountView", QT_TR_NOOP("You are not logged in: %1.\nCheck the internet "
                                                                "connection and press Login again.")))
                            .arg(failure.isEmpty() ? unreadable : watch->reason(body.size())),
                        Unreachable);
        changeState();
        return;
    }
    if (m_messageKind == Pending || m_messageKind == Unreachable)
        showMessage(Phrase(), None);

    QXmlStreamReader xml(body);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == QLatin1String("msg")) {
            const QString text = xml.readElementText();
            if (text == QLatin1String("USER NOT LOGGED")) {
                qDebug() << "!!!!!!! Force logout from server";
                m_user->forgot();
                break;
            }
            qInfo().noquote() << "AccountView: the store says" << text;
            showMessage(storeSays(text), Refused);
        } else if (name == QLatin1String("user_id")) {
            m_user->setUser_id(xml.readElementText().toUInt());
        } else if (name == QLatin1String("name")) {
            m_user->setName(xml.readElementText());
            ui->lineUsername->setText(m_user->getName());
        } else if (name == QLatin1String("surname")) {
            m_user->setSurname(xml.readElementText());
            ui->lineUsername->setText(ui->lineUsername->text() + QLatin1Char(' ') + m_user->getSurname());
        } else if (name == QLatin1String("email")) {
            m_user->setEmail(xml.readElementText());
            ui->lineMail->setText(m_user->getEmail());
        } else if (name == QLatin1String("songnet")) {
            m_user->setSongNet(xml.readElementText().toFloat());
            ui->songNetCredit->setText(creditText());
        }
    }
    m_user->save(programSettings());
    if (m_user->isUserLogged()) {
        qInfo() << "AccountView: logged in, user" << m_user->getUser_id();
        if (m_messageKind == Refused)
            showMessage(Phrase(), None);
    }
    changeState();
    emit userDataChanged();
}

void AccountView::showMessage(const Phrase &message, MessageKind kind)
{
    m_message = message;
    ui->loginStatusMsg->setText(message.text());
    m_messageKind = kind;
}

QString AccountView::creditText() const
{
    return QString::number(m_user->getSongNet(), 'g', 6) + QStringLiteral(" €");
}

void AccountView::changeState()
{
    const int before = m_state;
    m_state = m_user->isUserLogged() ? 1 : 0;
    // The name shown while logged in must not become the next password.
    if (before == 1 && m_state == 0)
        ui->lineUsername->clear();
    ui->linedeviceId->setText(m_user->getDevice());
    ui->songNetFrame->hide();
    // The call to log in is for those who are not.
    ui->infoLabel->setVisible(m_state == 0);
    if (m_state == 1) {
        ui->registrationFrame->hide();
        ui->registrationWidget->hide();
        ui->userLabel->setText(tr("User"));
        // Read-only, not disabled: the user's own name and address read in
        // full contrast, and can be copied.
        ui->lineUsername->setEchoMode(QLineEdit::Normal);
        ui->lineUsername->setReadOnly(true);
        ui->lineUsername->setText(m_user->getName() + QLatin1Char(' ') + m_user->getSurname());
        ui->lineMail->setReadOnly(true);
        ui->lineMail->setText(m_user->getEmail());
        ui->songNetCredit->setText(creditText());
        ui->logButton->setText(tr("Logout"));
        resize(500, 315);
    } else {
        ui->userLabel->setText(tr("Password"));
        ui->lineUsername->setEchoMode(QLineEdit::Password);
        ui->lineUsername->setReadOnly(false);
        ui->lineMail->setReadOnly(false);
        ui->logButton->setText(tr("Login"));
        ui->registrationFrame->show();
        ui->registrationWidget->show();
        resize(500, 220);
    }
}

void AccountView::logInOrOut()
{
    if (m_state == 0)
        logInUser();
    else
        logOutUser();
}

void AccountView::logInFromField()
{
    logInOrOut();
}

void AccountView::showEvent(QShowEvent *event)
{
    changeState();
    QWidget::showEvent(event);
}

void AccountView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setLinks();
        ui->loginStatusMsg->setText(m_message.text());
        // Drawn again, or a logged-in page would read "Login" and log out.
        changeState();
    }
    QWidget::changeEvent(event);
}
