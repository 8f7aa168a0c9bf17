#pragma once
// One threshold channel as the views see it: its voltage, whether it takes part in a
// selection, whether its input is on. A plain holder: writing a property changes only this
// object; the wrapper decides what reaches the board.
//
// Ownership: the wrapper is the parent. Threads: GUI thread only.

#include <QObject>

#include <cstdint>

class ProgrammableThresholdChannel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool selected READ selected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(ushort id READ id CONSTANT)
    Q_PROPERTY(double minVoltage READ minVoltage CONSTANT)
    Q_PROPERTY(double maxVoltage READ maxVoltage CONSTANT)
    Q_PROPERTY(bool fixed READ fixed CONSTANT)
    Q_PROPERTY(double voltage READ voltage WRITE setVoltage NOTIFY voltageChanged)

public:
    // `kind` 0 marks a channel whose threshold the board keeps fixed.
    ProgrammableThresholdChannel(std::uint8_t id, int kind, double minVoltage, double maxVoltage,
                                 QObject *parent);

    bool selected() const { return m_selected; }
    bool enabled() const { return m_enabled; }
    ushort id() const { return m_id; }
    double minVoltage() const { return m_minVoltage; }
    double maxVoltage() const { return m_maxVoltage; }
    bool fixed() const { return m_fixed; }
    double voltage() const { return m_voltage; }

    // Set when the voltage changed and has not been written to the board yet.
    bool pending() const { return m_pending; }
    void setPending(bool pending) { m_pending = pending; }

    void setSelected(bool selected);
    void setEnabled(bool enabled);
    void setVoltage(double voltage);

signals:
    void selectedChanged();
    void enabledChanged();
    void voltageChanged();

private:
    bool m_selected = false;
    bool m_enabled = true;
    bool m_pending = false;
    std::uint8_t m_id;
    double m_voltage = 0;
    double m_minVoltage;
    double m_maxVoltage;
    bool m_fixed;
};
