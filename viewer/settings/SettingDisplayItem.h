// The display settings of the side panels: how much time each picture accumulates and how fast
// recordings play ("Slow Rate", a speed factor turned into the frame rate), and how pictures are
// drawn: the display mode (accumulation or time surface) with the time surface's time constant,
// which polarities show, and the colour theme. The two times and the rate are editable drop-downs
// that colour their frame while the text is typed (blue valid, red not) and send a value only when
// it is committed and valid. GUI thread only.
#pragma once

#include "orvane/driver/FrameRenderer.h"

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

    // A time constant of 100 us to 10 s, read as the accumulation time is ("20" is 20 ms).
    static std::optional<uint64_t> parseTimeConstant(const QString& text);

    OvComboBox* accumulationTimeBox() const;
    OvComboBox* slowRateBox() const;
    OvComboBox* displayModeBox() const { return displayMode_; }
    OvComboBox* timeConstantBox() const { return timeConstant_; }
    OvComboBox* polarityBox() const { return polarity_; }
    OvComboBox* themeBox() const { return theme_; }

    // Shows the accumulation time in use (the engine holds it) without sending it.
    void showAccumulationTime(uint64_t us);
    // Shows `settings` without sending them.
    void setRenderSettings(const orvane::RenderSettings& settings);
    orvane::RenderSettings renderSettings() const { return render_; }

Q_SIGNALS:
    void signalCumulativeTimeChanged(uint64_t time_us);
    void signalFpsChanged(uint32_t fps);
    void signalRenderSettingsChanged(const orvane::RenderSettings& settings);

private:
    enum class Look { Rest, Valid, Invalid };
    static void setLook(OvComboBox* box, Look look);
    void onAccumulationTyped(const QString& text);
    void commitAccumulation();
    void onSlowRateTyped(const QString& text);
    void commitSlowRate();
    void buildRenderRows();
    void onTimeConstantTyped(const QString& text);
    void commitTimeConstant();
    void commitChoices();

    Ui::SettingDisplayItem* ui;
    // Whether the text shown was already sent: the combo box reports a typed text that matches
    // a list entry as a pick too, and leaving the box after Enter finishes the edit again.
    bool accumulationSent_ = false;
    bool slowRateSent_ = false;
    OvComboBox* displayMode_ = nullptr;
    OvComboBox* timeConstant_ = nullptr;
    OvComboBox* polarity_ = nullptr;
    OvComboBox* theme_ = nullptr;
    orvane::RenderSettings render_;
    bool showing_ = false;  // setRenderSettings is filling the boxes
};
