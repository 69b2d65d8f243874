#pragma once

// Kinds of sub-windows the host creates; a module passes its own kind to the host windows it embeds.
enum Subwin_Type : int {
    Subwin_Unknown = 0,
    Subwin_ScheduledOrder = 33,
    Subwin_FramelessFloatDlg = 34,
};
