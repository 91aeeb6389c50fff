#include "framework/message_box.h"
#include "framework/application.h"
#include "framework/errors.h"
#include "framework/guard.h"
#include "platform/mci/device_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

TEST(Application, AFailureInASlotIsShownInTheErrorBoxAndTheProgramGoesOn)
{
    auto* app = ui::application();
    ASSERT_NE(app, nullptr);
    app->setTitle("Quorvana");
    std::vector<std::string> shown;
    const auto saved = ui::setMessageBoxHook([&](const QString& text, const QString& caption, unsigned flags) {
        shown.push_back(caption.toStdString() + "|" + text.toStdString());
        EXPECT_EQ(flags, ui::MB_OK | ui::MB_ICONSTOP);
        return ui::IDOK;
    });
    QPushButton button;
    int after = 0;
    QObject::connect(&button, &QPushButton::clicked, &button,
                     ui::guarded([] { throw ui::EMCIDeviceError("Kein MCI-Gerät geöffnet"); }));
    QObject::connect(&button, &QPushButton::clicked, &button, [&] { ++after; });
    button.click();
    button.click();
    ui::setMessageBoxHook(saved);
    EXPECT_EQ(shown, (std::vector<std::string>{"Quorvana|Kein MCI-Gerät geöffnet.", "Quorvana|Kein MCI-Gerät geöffnet."}));
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
