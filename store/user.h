// The store account of the person using the program, shared by pointer
// between the account pages, the store manager and the banner strip. A user
// counts as logged in exactly when the user id is not 0. The record is kept
// between runs in the settings group "User"; no password is ever part of it.
#pragma once

#include <QString>

class QSettings;

class User
{
public:
    User(const QString &name = {}, const QString &surname = {}, quint32 user_id = 0,
         const QString &email = {}, const QString &currency = {}, float songNet = 0);

    QString getName() const { return name; }
    void setName(const QString &value) { name = value; }
    QString getSurname() const { return surname; }
    void setSurname(const QString &value) { surname = value; }
    quint32 getUser_id() const { return user_id; }
    void setUser_id(quint32 value) { user_id = value; }
    QString getEmail() const { return email; }
    void setEmail(const QString &value) { email = value; }
    QString getCurrency() const { return currency; }
    void setCurrency(const QString &value) { currency = value; }
    float getSongNet() const { return songNet; }
    void setSongNet(float value) { songNet = value; }
    QString getDevice() const { return device; }
    void setDevice(const QString &value) { device = value; }

    bool isUserLogged() const { return user_id != 0; }
    // Nobody logged in; the device identifier stays.
    void forgot();

    // Reads the record kept in `settings`; an installation without a device
    // identifier gets a new one (unreserved URL characters only), stored at once.
    void restore(QSettings &settings);
    // Keeps the record, or only the device identifier when nobody is logged in.
    void save(QSettings &settings) const;

private:
    QString name;
    QString surname;
    quint32 user_id;
    QString email;
    QString currency;
    float songNet;
    QString device;
};
