// The two saved settings ("frameAddress", "sshUsername"): strings by key.
#pragma once

#include <QSettings>
#include <QString>
#include <optional>

namespace vistrel {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    [[nodiscard]] virtual std::optional<QString> string(const QString& key) const = 0;
    virtual void setString(const QString& key, const QString& value) = 0;
};

// QSettings under organisation and application "Vistrel".
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();
    [[nodiscard]] std::optional<QString> string(const QString& key) const override;
    void setString(const QString& key, const QString& value) override;

private:
    QSettings settings_;
};

} // namespace vistrel
