// The tools of our sensors: seven for the IMX636 event sensor, one for the IMX415 frame sensor.
// Parameters, ranges, units and register effects are listed in each constructor.
#pragma once

#include <memory>

#include "orvane/hal/CameraTool.h"

namespace orvane {

class Imx636Biases : public CameraToolRegister {
public:
    explicit Imx636Biases(std::shared_ptr<RegisterController> controller);
    ~Imx636Biases() override;
    ToolInfo getToolInfo() const override;
    using CameraToolBasePrivate::getParam;
    using CameraToolBasePrivate::setParam;
    bool getParam(const std::string& name, int& value) override;
    bool setParam(const std::string& name, const int& value) override;

protected:
    bool apply(const std::string& name, const Value& value) override;
};

class Imx636TriggerIn : public CameraToolRegisterWithCallback {
public:
    explicit Imx636TriggerIn(std::shared_ptr<RegisterController> controller);
    ~Imx636TriggerIn() override;
    ToolInfo getToolInfo() const override;
};

class Imx636Sync : public CameraToolRegisterWithCallback {
public:
    explicit Imx636Sync(std::shared_ptr<RegisterController> controller);
    ~Imx636Sync() override;
    ToolInfo getToolInfo() const override;
};

class Imx636AntiFlicker : public CameraToolRegisterWithCallback {
public:
    explicit Imx636AntiFlicker(std::shared_ptr<RegisterController> controller);
    ~Imx636AntiFlicker() override;
    ToolInfo getToolInfo() const override;

protected:
    bool accept(const std::string& name, const Value& value) override;

private:
    bool writeBand();
};

class Imx636EventTrailFilter : public CameraToolRegisterWithCallback {
public:
    explicit Imx636EventTrailFilter(std::shared_ptr<RegisterController> controller);
    ~Imx636EventTrailFilter() override;
    ToolInfo getToolInfo() const override;
};

class Imx636EventRateControl : public CameraToolRegisterWithCallback {
public:
    explicit Imx636EventRateControl(std::shared_ptr<RegisterController> controller);
    ~Imx636EventRateControl() override;
    ToolInfo getToolInfo() const override;
};

class Imx636ROI : public CameraToolRegisterWithCallback {
public:
    explicit Imx636ROI(std::shared_ptr<RegisterController> controller);
    ~Imx636ROI() override;
    ToolInfo getToolInfo() const override;

protected:
    bool accept(const std::string& name, const Value& value) override;

private:
    bool writeWindow();
};

class Imx415ApsCtrl : public CameraToolRegisterWithCallback {
public:
    explicit Imx415ApsCtrl(std::shared_ptr<RegisterController> controller);
    ~Imx415ApsCtrl() override;
    ToolInfo getToolInfo() const override;
};

}  // namespace orvane
