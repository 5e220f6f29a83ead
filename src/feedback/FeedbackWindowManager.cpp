#include "feedback/FeedbackWindowManager.h"

FeedbackWindowManager& FeedbackWindowManager::shared()
{
    static FeedbackWindowManager instance;
    return instance;
}
