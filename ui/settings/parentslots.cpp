#include "parentslots.h"

#include <QDebug>
#include <QMetaObject>
#include <QObject>

bool connectToParentSlot(QObject *sender, const char *signal, QObject *parent, const char *slot)
{
    if (!parent)
        return false;
    // SLOT() puts a code digit before the signature.
    const QByteArray signature = QMetaObject::normalizedSignature(slot + 1);
    if (parent->metaObject()->indexOfSlot(signature.constData()) < 0) {
        qDebug().noquote() << parent->metaObject()->className() << "takes no" << signature;
        return false;
    }
    return QObject::connect(sender, signal, parent, slot);
}
