// Opening device 0 and applying its axis events, with SDL's virtual joysticks standing in for
// real devices. Needs SDL's joystick subsystems only, no window.

#include "app/InputDevices.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

class InputDevicesTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER)) << SDL_GetError();
    }

    void TearDown() override
    {
        close_input_device(gamepad, joystick);
        if (virtual_index >= 0)
            SDL_JoystickDetachVirtual(virtual_index);
        SDL_Quit();
    }

    void attach(SDL_JoystickType type)
    {
        virtual_index = SDL_JoystickAttachVirtual(type, 6, 4, 0);
        ASSERT_EQ(0, virtual_index) << SDL_GetError();
    }

    // Moves an axis of the virtual device and hands every event that results to the input
    // handling, as the frame loop would. Returns the events' types in order.
    std::vector<Uint32> move_axis(int axis, Sint16 value, InputMode mode)
    {
        SDL_Joystick* device = joystick != nullptr ? joystick : SDL_GameControllerGetJoystick(gamepad);
        EXPECT_NE(nullptr, device);
        EXPECT_EQ(0, SDL_JoystickSetVirtualAxis(device, axis, value)) << SDL_GetError();
        SDL_JoystickUpdate();
        std::vector<Uint32> types;
        SDL_Event event;
        while (SDL_PollEvent(&event) == 1) {
            types.push_back(event.type);
            handle_axis_event(mode, event, controls);
        }
        return types;
    }

    // Hands the events queued by opening the device (every axis reports its rest value) to
    // the input handling.
    void drain(InputMode mode)
    {
        SDL_JoystickUpdate();
        SDL_Event event;
        while (SDL_PollEvent(&event) == 1)
            handle_axis_event(mode, event, controls);
    }

    SDL_GameController* gamepad = nullptr;
    SDL_Joystick* joystick = nullptr;
    ControlInputs controls;
    int virtual_index = -1;
};

bool contains(const std::vector<Uint32>& types, Uint32 type)
{
    for (Uint32 t : types)
        if (t == type)
            return true;
    return false;
}

} // namespace

TEST_F(InputDevicesTest, NoDeviceMeansKeyboardAndSilence)
{
    console::Capture capture;
    EXPECT_EQ(InputMode::None, open_input_device(gamepad, joystick));
    EXPECT_EQ(nullptr, gamepad);
    EXPECT_EQ(nullptr, joystick);
    EXPECT_EQ("", capture.out());
    EXPECT_EQ("", capture.err());
}

TEST_F(InputDevicesTest, FlightStickOpensAsJoystickAndDrivesTheControls)
{
    attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK);
    console::Capture capture;
    ASSERT_EQ(InputMode::Joystick, open_input_device(gamepad, joystick));
    EXPECT_EQ("Joystick 0 is a joystick.\n", capture.out());
    EXPECT_EQ("", capture.err());
    EXPECT_NE(nullptr, joystick);
    EXPECT_EQ(nullptr, gamepad);

    // Opening reports every axis at rest (0): the controls keep their values.
    controls.throttle = 0.4f;
    drain(InputMode::Joystick);
    EXPECT_FLOAT_EQ(0.4f, controls.throttle);
    EXPECT_FLOAT_EQ(0.0f, controls.elevator);

    struct Step {
        int axis;
        Sint16 value;
        float ControlInputs::*control;
        float expected;
    };
    const std::vector<Step> steps = {
        {3, -32767, &ControlInputs::throttle, 1.0f},
        {1, 16384, &ControlInputs::elevator, -0.125f},
        {0, -32768, &ControlInputs::aileron, -1.0000916f},
        {4, 32767, &ControlInputs::rudder, 1.0f},
        {3, 1, &ControlInputs::throttle, 0.5f},
        {3, 0, &ControlInputs::throttle, 0.5f}, // centre: ignored, keeps 0.5
        {2, 32767, &ControlInputs::elevator, -0.125f}, // unmapped axis: nothing changes
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "axis " << step.axis << " value " << step.value);
        const std::vector<Uint32> types = move_axis(step.axis, step.value, InputMode::Joystick);
        EXPECT_TRUE(step.value == 0 || contains(types, SDL_JOYAXISMOTION)) << "no joystick axis event arrived";
        EXPECT_NEAR(step.expected, controls.*step.control, 1e-4f);
    }
    // The joystick prints nothing while it is used.
    EXPECT_EQ("Joystick 0 is a joystick.\n", capture.out());
}

TEST_F(InputDevicesTest, ControllerOpensAsGamepadWithItsOwnMapping)
{
    attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER);
    console::Capture capture;
    ASSERT_EQ(InputMode::Gamepad, open_input_device(gamepad, joystick));
    EXPECT_EQ("Joystick 0 is a game controller.\n", capture.out());
    EXPECT_NE(nullptr, gamepad);
    EXPECT_EQ(nullptr, joystick);
    drain(InputMode::Gamepad);
    capture.clear();

    // The raw joystick events of the same device are ignored in this mode; only the
    // controller's meaning-mapped axes count.
    const std::vector<Uint32> types = move_axis(SDL_CONTROLLER_AXIS_RIGHTY, 32767, InputMode::Gamepad);
    EXPECT_TRUE(contains(types, SDL_JOYAXISMOTION));
    EXPECT_TRUE(contains(types, SDL_CONTROLLERAXISMOTION));
    EXPECT_FLOAT_EQ(-1.0f, controls.elevator);
    EXPECT_EQ("Gamepad axis 3 moved to 32767\n", capture.out());

    capture.clear();
    move_axis(SDL_CONTROLLER_AXIS_LEFTY, -32767, InputMode::Gamepad);
    EXPECT_FLOAT_EQ(1.0f, controls.throttle);
    move_axis(SDL_CONTROLLER_AXIS_LEFTX, 16384, InputMode::Gamepad);
    EXPECT_NEAR(0.125f, controls.rudder, 1e-4f);
    move_axis(SDL_CONTROLLER_AXIS_RIGHTX, -32767, InputMode::Gamepad);
    EXPECT_FLOAT_EQ(-1.0f, controls.aileron);
    EXPECT_EQ("Gamepad axis 1 moved to -32767\nGamepad axis 0 moved to 16384\nGamepad axis 2 moved to -32767\n",
              capture.out());

    // Inside the dead zone: no line, no change.
    capture.clear();
    move_axis(SDL_CONTROLLER_AXIS_RIGHTX, 8000, InputMode::Gamepad);
    EXPECT_FLOAT_EQ(-1.0f, controls.aileron);
    EXPECT_EQ("", capture.out());
}

TEST_F(InputDevicesTest, AxisEventsOfTheOtherModeChangeNothing)
{
    SDL_Event joystick_axis{};
    joystick_axis.type = SDL_JOYAXISMOTION;
    joystick_axis.jaxis.axis = 0;
    joystick_axis.jaxis.value = 32767;
    SDL_Event controller_axis{};
    controller_axis.type = SDL_CONTROLLERAXISMOTION;
    controller_axis.caxis.axis = SDL_CONTROLLER_AXIS_RIGHTX;
    controller_axis.caxis.value = 32767;
    SDL_Event key{};
    key.type = SDL_KEYDOWN;

    console::Capture capture;
    for (InputMode mode : {InputMode::None, InputMode::Joystick, InputMode::Gamepad}) {
        for (const SDL_Event* event : {&joystick_axis, &controller_axis, &key}) {
            ControlInputs c;
            const bool written = handle_axis_event(mode, *event, c);
            const bool expected = (mode == InputMode::Joystick && event == &joystick_axis) ||
                                  (mode == InputMode::Gamepad && event == &controller_axis);
            EXPECT_EQ(expected, written) << "mode " << static_cast<int>(mode) << " event " << event->type;
            EXPECT_FLOAT_EQ(expected ? 1.0f : 0.0f, c.aileron) << "mode " << static_cast<int>(mode);
        }
    }
    EXPECT_EQ("Gamepad axis 2 moved to 32767\n", capture.out());
}

TEST_F(InputDevicesTest, ClosingTwiceIsHarmless)
{
    attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK);
    console::Capture capture;
    ASSERT_EQ(InputMode::Joystick, open_input_device(gamepad, joystick));
    close_input_device(gamepad, joystick);
    EXPECT_EQ(nullptr, joystick);
    close_input_device(gamepad, joystick);
    EXPECT_EQ(nullptr, gamepad);
}
