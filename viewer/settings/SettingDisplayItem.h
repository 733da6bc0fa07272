// The display settings of the side panels: how much time each picture accumulates and how fast
// recordings play ("Slow Rate", a speed factor turned into the frame rate). Both are editable
// drop-downs that colour their frame while the text is typed (blue valid, red not) and send a
// value only when it is committed and valid. GUI thread only.
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class OvComboBox;

namespace Ui {
class SettingDisplayItem;
}

class SettingDisplayItem : public QWidget {
    Q_OBJECT
public:
    static constexpr uint64_t kMinAccumulationUs = 1;
    static constexpr uint64_t kMaxAccumulationUs = 1000000;
    static constexpr double kMinSpeed = 0.003;
    static constexpr double kMaxSpeed = 1000;
    static constexpr double kBaseFps = 30;

    explicit SettingDisplayItem(QWidget* parent = nullptr);
    ~SettingDisplayItem() override;

    // "5" and "5ms" are 5000 us, "250us" is 250 us; empty when not a time of 1 us to 1 s.
    static std::optional<uint64_t> parseAccumulationTime(const QString& text);
    // The frame rate a speed factor gives (30 fps at speed 1), never 0; empty when the text is
    // not a speed of 0.003 to 1000.
    static std::optional<uint32_t> parseSlowRate(const QString& text);

    OvComboBox* accumulationTimeBox() const;
    OvComboBox* slowRateBox() const;

Q_SIGNALS:
    void signalCumulativeTimeChanged(uint64_t time_us);
    void signalFpsChanged(uint32_t fps);

private:
    enum class Look { Rest, Valid, Invalid };
    static void setLook(OvComboBox* box, Look look);
    void onAccumulationTyped(const QString& text);
    void commitAccumulation();
    void onSlowRateTyped(const QString& text);
    void commitSlowRate();

    Ui::SettingDisplayItem* ui;
    // Whether the text shown was already sent: the combo box reports a typed text that matches
    // a list entry as a pick too, and leaving the box after Enter finishes the edit again.
    bool accumulationSent_ = false;
    bool slowRateSent_ = false;
};
