// The one adaptation to the Dear ImGui version the program is built with
// (Debian's 1.86): its GLFW and Vulkan back ends. The renderer starts, stops
// and draws them; the control panel sees only the two new-frame calls, which
// carry no graphics type.
#pragma once

struct Renderer;
struct VkCommandBuffer_T;

// Renderer side: both back ends for the renderer's window, device and render
// pass, with the built-in font uploaded; their shutdown; the panel's draw
// commands recorded into a command buffer.
void imguiBackendInit(Renderer& r);
void imguiBackendShutdown(Renderer& r);
void imguiBackendDraw(Renderer& r, VkCommandBuffer_T* commands);

// Panel side. Main thread, before the panel is built: the window system's
// part of a new frame (input, display size). Then, on the thread that builds
// the panel: the renderer's part and ImGui::NewFrame.
void imguiPrepareFrame();
void imguiNewFrame();

// In the current window, an item of the given size showing the text block
// the renderer drew last (the back end of this version cannot show a
// texture of its own: the renderer draws it in the middle of the panel's
// draws, clipped to the window).
void imguiTextBlockImage(float width, float height);
