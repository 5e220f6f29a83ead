#pragma once
#include <QString>

class ModelContainer;

// Deletes every clipboard entry, pinned ones included, with their representations, in one
// transaction on a context of its own (callable off the main thread). Screenshots and recordings
// stay. False with the reason when the store refuses; nothing is deleted then.
namespace HistoryEraser {
bool eraseAll(ModelContainer& container, QString* error);
}
