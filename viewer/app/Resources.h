// The viewer's embedded resources live in a static library; registering them by hand keeps the
// linker from dropping them. Called once at start by the program and by the tests.
#pragma once

void initViewerResources();

// Registers ":/font/NotoSansSC-Medium.ttf", makes it the application font and lets style sheets
// name it "Noto Sans SC Medium". Returns false (and logs) when the font cannot be loaded.
bool loadApplicationFont();
