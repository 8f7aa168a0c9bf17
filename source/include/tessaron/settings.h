#pragma once
// The per-user settings store as QML sees it ("settings"): one settings object that keeps its
// current group and array position between calls, so QML drives it like a cursor.
// Threads: GUI thread only.

#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>

class Settings : public QObject {
    Q_OBJECT
public:
    explicit Settings(QObject *parent = nullptr);

    Q_INVOKABLE void setValue(const QString &key, const QVariant &value);
    Q_INVOKABLE QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    Q_INVOKABLE int intValue(const QString &key, int defaultValue = 0) const;
    Q_INVOKABLE double doubleValue(const QString &key, double defaultValue = 1.0) const;
    Q_INVOKABLE bool boolValue(const QString &key, bool defaultValue = true) const;
    Q_INVOKABLE void beginWriteArray(const QString &prefix, int size = -1);
    Q_INVOKABLE int beginReadArray(const QString &prefix);
    Q_INVOKABLE void setArrayIndex(int i);
    Q_INVOKABLE void endArray();
    Q_INVOKABLE void beginGroup(const QString &prefix);
    Q_INVOKABLE void endGroup();
    Q_INVOKABLE QStringList childGroups() const;
    Q_INVOKABLE QStringList childKeys() const;
    Q_INVOKABLE QStringList allKeys() const;
    Q_INVOKABLE void clear();
    Q_INVOKABLE bool contains(const QString &key) const;

private:
    QSettings m_settings;
};
