// The settings store the store client writes to. The program's one store
// (`appSettings`) belongs to the application shell, which this library does
// not link: the shell hands it in with setStoreSettings(). Until it does, a
// store on the same file (organisation "Kvero", application "VelmarPC") is
// used, so nothing is lost when the hand-over is missing.
#pragma once

class QSettings;

void setStoreSettings(QSettings *settings);
QSettings &storeSettings();
