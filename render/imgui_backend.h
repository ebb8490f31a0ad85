// The one adaptation to the Dear ImGui version the program is built with
// (Debian's 1.86): its GLFW and Vulkan back ends. The renderer starts, stops
// and draws them; the control panel sees only the two new-frame calls, which
// carry no graphics type.
#pragma once

#include <cstdint>
#include <deque>

struct Renderer;
struct VkCommandBuffer_T;

// Renderer side: both back ends for the renderer's window, device and render
// pass, with the built-in font uploaded; their shutdown; the panel's draw
// commands recorded into a command buffer.
void imguiBackendInit(Renderer& r);
void imguiBackendShutdown(Renderer& r);
void imguiBackendDraw(Renderer& r, VkCommandBuffer_T* commands);

// A window event for the panel, in the order the window system delivered it.
struct PanelEvent {
    enum Kind : uint8_t { CURSOR, LEAVE, BUTTON, SCROLL, KEY, CHARACTER, FOCUS };
    Kind kind = CURSOR;
    int code = 0;        // mouse button, GLFW key code or character
    bool down = false;   // the button or key went down; the window gained the focus
    float x = 0, y = 0;  // the pointer's position, or the scroll offsets
};

// The events the panel has yet to see, and the pointer and buttons as the
// events seen so far left them.
struct PanelInput {
    std::deque<PanelEvent> queue;
    float mouseX = 0, mouseY = 0;
    bool mouseKnown = false;  // an event has placed the pointer (until then the window system's place stands)
    bool mouseInside = true;
    bool buttons[5]{};
};

// Hands Dear ImGui the queued events of one frame, in order, up to the first
// that would press or release a mouse button or key that already changed in
// this frame, or move the pointer after a button changed; the rest wait for
// the next frame. Dear ImGui 1.86 reads buttons and keys as states once per
// frame, so a click or key press shorter than a frame must reach it as a
// press in one frame and a release in the next, where it happened.
void imguiFeedInput(PanelInput& input);

// Panel side. Main thread, before the panel is built: the window system's
// part of a new frame (display size, time) and the frame's events. Then, on
// the thread that builds the panel: the renderer's part and ImGui::NewFrame.
void imguiPrepareFrame(PanelInput& input);
// True when a window of the last frame that takes the mouse covers (x, y).
bool imguiWindowAt(float x, float y);
void imguiNewFrame();

// After a frame: true while a window is appearing or is hidden for a frame
// while Dear ImGui measures it (a combo's list just opened), so that the
// next frame shows what this one only prepared.
bool imguiWindowsSettling();

// In the current window, an item of the given size showing the text block
// the renderer drew last (the back end of this version cannot show a
// texture of its own: the renderer draws it in the middle of the panel's
// draws, clipped to the window).
void imguiTextBlockImage(float width, float height);
