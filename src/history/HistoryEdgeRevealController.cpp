#include "history/HistoryEdgeRevealController.h"

HistoryEdgeRevealController& HistoryEdgeRevealController::shared()
{
    static HistoryEdgeRevealController instance;
    return instance;
}
