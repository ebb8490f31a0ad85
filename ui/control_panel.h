// The control panel: a Dear ImGui window in a vertical strip beside the star
// display. This first version shows the version, the frame rate, the number of
// stars on display and the two quit buttons.
#pragma once

struct Application;

// Main thread, just before the panel worker starts: the window system's part
// of the new ImGui frame (input, display size), which must run on the thread
// that owns the window.
void preparePanelFrame(Application& app);

// One ImGui frame of the panel, from NewFrame to Render; marks every image's
// command buffer for re-recording. Runs on the panel worker while the main
// thread waits, and once on the main thread at start-up.
void buildControlPanel(Application& app);
