#include "tessaron/settings.h"

#include "tessaron/vectorstream.h"

Settings::Settings(QObject *parent) : QObject(parent)
{
    tessaron::registerDoubleVectorStreamOperators();
}

void Settings::setValue(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, value);
}

QVariant Settings::value(const QString &key, const QVariant &defaultValue) const
{
    return m_settings.value(key, defaultValue);
}

int Settings::intValue(const QString &key, int defaultValue) const
{
    return m_settings.value(key, defaultValue).toInt();
}

double Settings::doubleValue(const QString &key, double defaultValue) const
{
    return m_settings.value(key, defaultValue).toDouble();
}

bool Settings::boolValue(const QString &key, bool defaultValue) const
{
    return m_settings.value(key, defaultValue).toBool();
}

void Settings::beginWriteArray(const QString &prefix, int size)
{
    m_settings.beginWriteArray(prefix, size);
}

int Settings::beginReadArray(const QString &prefix)
{
    return m_settings.beginReadArray(prefix);
}

void Settings::setArrayIndex(int i)
{
    m_settings.setArrayIndex(i);
}

void Settings::endArray()
{
    m_settings.endArray();
}

void Settings::beginGroup(const QString &prefix)
{
    m_settings.beginGroup(prefix);
}

void Settings::endGroup()
{
    m_settings.endGroup();
}

QStringList Settings::childGroups() const
{
    return m_settings.childGroups();
}

QStringList Settings::childKeys() const
{
    return m_settings.childKeys();
}

QStringList Settings::allKeys() const
{
    return m_settings.allKeys();
}

void Settings::clear()
{
    m_settings.clear();
}

bool Settings::contains(const QString &key) const
{
    return m_settings.contains(key);
}
