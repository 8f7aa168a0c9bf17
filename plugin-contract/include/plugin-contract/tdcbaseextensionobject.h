#pragma once
// Base class of every model a plugin creates for a hardware module. It carries the model's
// identifier (stored views find their model again by it), the module's version texts, and the
// save and load of the properties named in `persistedProperties`.
//
// Ownership: the backend wrapper is the parent; the hardware module belongs to the device
// library's entry object and is released (`releaseModule`) before that object goes away, so a
// model never touches a module that no longer exists.
// Threads: GUI thread, unless a derived class says otherwise.

#include <QObject>
#include <QString>
#include <QStringList>

class QSettings;
class TessaronModule;
struct TessaronVersion;

// "v" major "." minor "." patch, each in decimal.
QString moduleVersionText(const TessaronVersion &version);

class TDCBaseExtensionObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString modelUUID READ modelUUID WRITE setModelUUID)
    Q_PROPERTY(QString hwVersion READ hwVersion CONSTANT)
    Q_PROPERTY(QString swVersion READ swVersion CONSTANT)

public:
    TDCBaseExtensionObject(TessaronModule *module, QObject *parent);
    ~TDCBaseExtensionObject() override;

    QString modelUUID() const { return m_modelUUID; }
    QString hwVersion() const { return m_hwVersion; }
    QString swVersion() const { return m_swVersion; }
    QStringList persistedProperties() const { return m_persistedProperties; }

    TessaronModule *hardwareModule() const { return m_module; }
    // Called before the module's owner destroys it; afterwards `hardwareModule()` is null.
    // Derived classes that installed callbacks remove them here and call the base.
    virtual void releaseModule();

public slots:
    void setModelUUID(QString modelUUID);
    // `settings` is positioned at the model's own array element.
    virtual void saveModelSettings(QSettings *settings);
    virtual void loadModelSettings(QSettings *settings);

protected:
    QStringList m_persistedProperties;

private:
    QString m_modelUUID;
    TessaronModule *m_module;
    QString m_hwVersion;
    QString m_swVersion;
};
