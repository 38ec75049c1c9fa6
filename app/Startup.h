#pragma once

#include "UnitmbAccount.h"

#include <memory>

class TFormConnect;
class TFormFTPAccount;
class TFormProgress;

// The windows that live for the whole run, created in their order: the main window, the
// connect dialog, the account editor, the progress window. The main window owns the others.
struct PellaroWindows
{
    std::unique_ptr<TFormServerSetup> FormServerSetup;
    TFormConnect* FormConnect = nullptr;
    TFormFTPAccount* FormFTPAccount = nullptr;
    TFormProgress* FormProgress = nullptr;
};

// Throws what the main window's construction throws (WorkFolderError).
PellaroWindows CreatePellaroWindows(IMessageService& messages, ServerSetupOptions options = {});
