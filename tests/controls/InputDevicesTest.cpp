// Device 0 opened as joystick or game controller and its axis events, with SDL's virtual
// joysticks standing in for devices (only SDL's joystick subsystems run, no window).

#include "app/InputDevices.h"

#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

class InputDevicesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError(); }
    void TearDown() override
    {
        close_input_device(gamepad, joystick);
        close_input_device(gamepad, joystick); // twice is harmless
        SDL_JoystickDetachVirtual(0);
        SDL_Quit();
    }

    // Opens device 0 after attaching a virtual one of the type, and drops the events opening
    // queued (every axis reports its rest value, 0, which changes nothing).
    InputMode open(SDL_JoystickType type)
    {
        EXPECT_EQ(SDL_JoystickAttachVirtual(type, 6, 15, 0), 0) << SDL_GetError();
        const InputMode mode = open_input_device(gamepad, joystick);
        move(mode, -1, 0);
        return mode;
    }
    // Moves an axis of the device and hands every resulting event to the input handling.
    void move(InputMode mode, int axis, Sint16 value)
    {
        SDL_Joystick* device = joystick ? joystick : SDL_GameControllerGetJoystick(gamepad);
        EXPECT_TRUE(axis < 0 || SDL_JoystickSetVirtualAxis(device, axis, value) == 0) << SDL_GetError();
        SDL_JoystickUpdate();
        for (SDL_Event event; SDL_PollEvent(&event);)
            handle_axis_event(mode, event, controls);
    }

    SDL_GameController* gamepad = nullptr;
    SDL_Joystick* joystick = nullptr;
    ControlInputs controls{0.0f, 0.0f, 0.0f, 0.4f};
    console::Capture output;
};

TEST_F(InputDevicesTest, WithoutADeviceTheKeyboardFliesSilently)
{
    EXPECT_EQ(open_input_device(gamepad, joystick), InputMode::None);
    EXPECT_TRUE(gamepad == nullptr && joystick == nullptr);
    EXPECT_EQ(output.out() + output.err(), "");
}

TEST_F(InputDevicesTest, AFlightStickIsAJoystickWhoseAxesFly)
{
    ASSERT_EQ(open(SDL_JOYSTICK_TYPE_FLIGHT_STICK), InputMode::Joystick);
    EXPECT_TRUE(joystick != nullptr && gamepad == nullptr);
    EXPECT_EQ(controls.throttle, 0.4f) << "the rest values on opening change nothing";
    move(InputMode::Joystick, 3, -32767);
    move(InputMode::Joystick, 1, 16384);
    EXPECT_EQ(controls.throttle, 1.0f);
    EXPECT_NEAR(controls.elevator, -0.125f, 1e-4f);
    EXPECT_EQ(output.out(), "Joystick 0 is a joystick.\n");
}

TEST_F(InputDevicesTest, AGameControllerIsAGamepadThatNamesItsMovements)
{
    ASSERT_EQ(open(SDL_JOYSTICK_TYPE_GAMECONTROLLER), InputMode::Gamepad);
    EXPECT_TRUE(gamepad != nullptr && joystick == nullptr);
    move(InputMode::Gamepad, SDL_CONTROLLER_AXIS_RIGHTY, 32767); // its raw joystick event is ignored
    move(InputMode::Gamepad, SDL_CONTROLLER_AXIS_LEFTY, -32767);
    move(InputMode::Gamepad, SDL_CONTROLLER_AXIS_RIGHTX, 8000); // within the dead zone
    EXPECT_TRUE(controls.elevator == -1.0f && controls.throttle == 1.0f && controls.aileron == 0.0f);
    EXPECT_EQ(output.out(), "Joystick 0 is a game controller.\nGamepad axis 3 moved to 32767\n"
                            "Gamepad axis 1 moved to -32767\n");
}

TEST_F(InputDevicesTest, AxisEventsCountOnlyInTheirOwnMode)
{
    SDL_Event joystick_axis{}, controller_axis{}, key{};
    joystick_axis.type = SDL_JOYAXISMOTION;
    joystick_axis.jaxis.value = 32767;
    controller_axis.type = SDL_CONTROLLERAXISMOTION;
    controller_axis.caxis.axis = SDL_CONTROLLER_AXIS_RIGHTX;
    controller_axis.caxis.value = 32767;
    key.type = SDL_KEYDOWN;
    for (InputMode mode : {InputMode::None, InputMode::Joystick, InputMode::Gamepad})
        for (const SDL_Event* event : {&joystick_axis, &controller_axis, &key}) {
            ControlInputs c;
            const bool own = (mode == InputMode::Joystick && event == &joystick_axis) ||
                             (mode == InputMode::Gamepad && event == &controller_axis);
            EXPECT_EQ(handle_axis_event(mode, *event, c), own);
            EXPECT_EQ(c.aileron, own ? 1.0f : 0.0f) << int(mode) << " " << event->type;
        }
    EXPECT_EQ(output.out(), "Gamepad axis 2 moved to 32767\n");
}

} // namespace
