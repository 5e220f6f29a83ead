#pragma once

// The two tabs of the history panel, in display order.
enum class HistoryTab { clipboard, screenshots };
