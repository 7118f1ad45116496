// Points the platform's UI hooks at Qt: message boxes and questions become modal Qt
// dialogs, the message pump is QCoreApplication::processEvents and file type names come
// from the desktop's MIME database.
#pragma once

namespace platform {
void installQtUiHooks();
}
