// The real main window over a private folder and configuration, for the tests that use it as a
// person does: simulated cameras unplugged before and after, the window's tips recorded.
#pragma once

#include "AppConfig.h"
#include "MainWidget.h"
#include "orvane/hal/Simulator.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        orvane::sim::unplugAll();
        ASSERT_TRUE(dir.isValid());
        out = dir.filePath("out");
        QDir().mkpath(out);
        config = std::make_unique<AppConfig>(dir.filePath("config.ini"), dir.path());
        config->setOutputRawFilePath(out);
        config->setVideoSavePath(out);
        window = std::make_unique<MainWidget>(config.get());
        tips = std::make_unique<QSignalSpy>(window.get(), &MainWidget::signalShowLeftBottomTips);
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        orvane::sim::unplugAll();
    }

    template <typename T = QWidget>
    T* child(const char* name)
    {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QTemporaryDir dir;
    QString out;  // recordings and videos go here
    std::unique_ptr<AppConfig> config;
    std::unique_ptr<MainWidget> window;
    std::unique_ptr<QSignalSpy> tips;  // signalShowLeftBottomTips
};
