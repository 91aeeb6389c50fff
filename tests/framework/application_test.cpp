#include "framework/application.h"
#include "framework/errors.h"
#include "framework/guard.h"
#include "framework/message_box.h"
#include "platform/mci/device_window.h"
#include "tests/support/message_boxes.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(Application, AFailureInASlotIsShownInTheErrorBoxAndTheProgramGoesOn)
{
    auto* app = ui::application();
    ASSERT_NE(app, nullptr);
    app->setTitle("Quorvana");
    testing_support::MessageBoxes boxes;
    QPushButton button;
    int after = 0;
    QObject::connect(&button, &QPushButton::clicked, &button,
        ui::guarded([] { throw ui::EMCIDeviceError("Kein MCI-Gerät geöffnet"); }));
    QObject::connect(&button, &QPushButton::clicked, &button, [&] { ++after; });
    button.click();
    button.click();
    EXPECT_EQ(
        boxes, (std::vector<std::string> {"Quorvana: Kein MCI-Gerät geöffnet.", "Quorvana: Kein MCI-Gerät geöffnet."}));
    EXPECT_EQ(boxes.flags, (std::vector<unsigned> {ui::MB_OK | ui::MB_ICONSTOP, ui::MB_OK | ui::MB_ICONSTOP}));
    EXPECT_EQ(after, 2) << "the signal's other slots still ran";
}

TEST(Application, ActivationCountsOnlyTheProgramsOwnWindowChanges)
{
    auto* app = ui::application();
    std::vector<QWidget*> activated;
    QObject::connect(app, &ui::Application::formActivated, [&](QWidget* w) { activated.push_back(w); });
    QWidget main, dialog, video;
    video.setProperty(mci::kDeviceWindowProperty, true);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&main, &activate);
    QCoreApplication::sendEvent(&main, &activate); // back from another application
    QCoreApplication::sendEvent(&video, &activate);
    QCoreApplication::sendEvent(&main, &activate); // back from a video's window: no form changed
    QCoreApplication::sendEvent(&dialog, &activate);
    QCoreApplication::sendEvent(&main, &activate); // back from the program's dialog
    EXPECT_EQ(activated, (std::vector<QWidget*>{&main, &dialog, &main}));
}

TEST(ChooseDisplay, AWaylandSessionRunsOnXWaylandUnlessTheUserNamedAPlatform)
{
    const auto value = [](const char* name) { return std::getenv(name) ? std::getenv(name) : ""; };
    const std::string savedPlatform = value("QT_QPA_PLATFORM"), savedDisplay = value("DISPLAY");
    const auto platformAfter = [](const char* wayland, const char* display, const char* platform) {
        const auto put = [](const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); };
        put("WAYLAND_DISPLAY", wayland);
        put("DISPLAY", display);
        put("QT_QPA_PLATFORM", platform);
        ui::Application::chooseDisplay();
        const char* chosen = std::getenv("QT_QPA_PLATFORM");
        return std::string(chosen ? chosen : "");
    };
    EXPECT_EQ(platformAfter("wayland-0", ":0", nullptr), "xcb");
    EXPECT_EQ(platformAfter("wayland-0", nullptr, nullptr), ""); // no XWayland: Wayland it is
    EXPECT_EQ(platformAfter("wayland-0", ":0", "wayland"), "wayland");
    EXPECT_EQ(platformAfter(nullptr, ":0", nullptr), "");
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", savedDisplay.c_str(), 1);
    setenv("QT_QPA_PLATFORM", savedPlatform.c_str(), 1);
}
