#include "guide/ControllerMonitor.h"

#include <QLoggingCategory>

#include <SDL.h>

Q_LOGGING_CATEGORY(lcControllers, "vantor.controllers", QtWarningMsg)

namespace {

// SDL knows a controller's USB vendor number, not the maker's name; these are the makers of
// the controllers people use with OpenEmu.
QString vendorName(Uint16 vendor)
{
    switch (vendor) {
    case 0x045e: return QStringLiteral("Microsoft");
    case 0x054c: return QStringLiteral("Sony");
    case 0x057e: return QStringLiteral("Nintendo");
    case 0x046d: return QStringLiteral("Logitech");
    case 0x2dc8: return QStringLiteral("8BitDo");
    case 0x0f0d: return QStringLiteral("Hori");
    case 0x0e6f: return QStringLiteral("PDP");
    case 0x1532: return QStringLiteral("Razer");
    case 0x28de: return QStringLiteral("Valve");
    case 0x20d6: return QStringLiteral("PowerA");
    default: return QStringLiteral("Game controller");
    }
}

// What kind of device it is, from SDL's controller type, else the name SDL gives it.
QString productCategory(int index)
{
    switch (SDL_GameControllerTypeForIndex(index)) {
    case SDL_CONTROLLER_TYPE_XBOX360: return QStringLiteral("Xbox 360 Controller");
    case SDL_CONTROLLER_TYPE_XBOXONE: return QStringLiteral("Xbox Wireless Controller");
    case SDL_CONTROLLER_TYPE_PS3: return QStringLiteral("DualShock 3");
    case SDL_CONTROLLER_TYPE_PS4: return QStringLiteral("DualShock 4");
    case SDL_CONTROLLER_TYPE_PS5: return QStringLiteral("DualSense");
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO: return QStringLiteral("Switch Pro Controller");
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_LEFT:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_RIGHT:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_PAIR: return QStringLiteral("Joy-Con");
    default: break;
    }
    const char *name = SDL_JoystickNameForIndex(index);
    return name && *name ? QString::fromUtf8(name) : QStringLiteral("Gamepad");
}

// " · micro gamepad" for a plain joystick with a d-pad and at most two buttons.
bool isMicroGamepad(int index)
{
    SDL_Joystick *joystick = SDL_JoystickOpen(index);
    if (!joystick)
        return false;
    const bool micro = SDL_JoystickNumHats(joystick) >= 1 && SDL_JoystickNumButtons(joystick) <= 2;
    SDL_JoystickClose(joystick);
    return micro;
}

} // namespace

ControllerMonitor::ControllerMonitor(QObject *parent)
    : QObject(parent)
{
    // The window is not an SDL window: events must arrive whatever has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // SDL would install its own SIGINT and SIGTERM handlers, and the window would then ignore
    // both; the program handles its signals itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    m_sdlReady = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!m_sdlReady)
        qCWarning(lcControllers) << "game controllers unavailable:" << SDL_GetError();
    refresh();
    connect(&m_pump, &QTimer::timeout, this, &ControllerMonitor::pump);
    if (m_sdlReady)
        m_pump.start(pumpIntervalMs);
}

ControllerMonitor::~ControllerMonitor()
{
    if (m_sdlReady)
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void ControllerMonitor::pump()
{
    if (!m_sdlReady)
        return;
    bool changed = false;
    SDL_Event event;
    SDL_JoystickUpdate();
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_JOYDEVICEADDED:
        case SDL_JOYDEVICEREMOVED:
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMOVED: changed = true; break;
        default: break;
        }
    }
    if (changed)
        refresh();
}

void ControllerMonitor::refresh()
{
    QList<ControllerInfo> found;
    const int count = m_sdlReady ? SDL_NumJoysticks() : 0;
    for (int i = 0; i < count; ++i) {
        QString kind = productCategory(i);
        if (SDL_IsGameController(i))
            kind += QStringLiteral(" · full gamepad");
        else if (isMicroGamepad(i))
            kind += QStringLiteral(" · micro gamepad");
        found.append({QUuid::createUuid(), vendorName(SDL_JoystickGetDeviceVendor(i)), kind});
    }
    m_controllers = std::move(found);
    Q_EMIT controllersChanged();
}

ControllerMonitorHolder &ControllerMonitorHolder::shared()
{
    static ControllerMonitorHolder holder;
    return holder;
}
