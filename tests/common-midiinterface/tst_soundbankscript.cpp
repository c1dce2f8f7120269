#include "synthtestutil.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestSoundBankScript : public QObject
{
    Q_OBJECT
private slots:
    void putsBankWhereTheProgramLooks()
    {
        QTemporaryDir home;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        const QString oldOrg = QCoreApplication::organizationName();
        const QString oldApp = QCoreApplication::applicationName();
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QCoreApplication::setOrganizationName(QString());
        QCoreApplication::setApplicationName(QStringLiteral("VelmarPC"));
        const QString target =
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
            QStringLiteral("/Basic.sfc");
        const QString script = QStringLiteral(VELMAR_SOURCE_DIR "/scripts/install-soundbank.sh");

        const int first = TestUtil::runProgram(QStringLiteral("/bin/bash"), {script});
        const QByteArray installed = TestUtil::readFile(target);
        TestUtil::writeFile(target, "the user's own bank");
        const int second = TestUtil::runProgram(QStringLiteral("/bin/bash"), {script});
        const QByteArray kept = TestUtil::readFile(target);

        qputenv("XDG_DATA_HOME", oldData);
        QCoreApplication::setOrganizationName(oldOrg);
        QCoreApplication::setApplicationName(oldApp);

        QVERIFY(target.startsWith(home.path()));
        QCOMPARE(first, 0);
        QVERIFY(installed == TestUtil::readFile(SynthTest::soundBank()));
        QCOMPARE(second, 0);
        QCOMPARE(kept, QByteArray("the user's own bank"));
    }
};

VELMAR_TEST(TestSoundBankScript)
#include "tst_soundbankscript.moc"
