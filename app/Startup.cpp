#include "Startup.h"

#include "UnitProgress.h"
#include "UnitUserID.h"

PellaroWindows CreatePellaroWindows(IMessageService& messages, ServerSetupOptions options)
{
    PellaroWindows w;
    w.FormServerSetup = std::make_unique<TFormServerSetup>(messages, std::move(options));
    // The connect dialog is created here, between the main window and the account editor.
    w.FormFTPAccount = new TFormFTPAccount(messages, w.FormServerSetup.get());
    w.FormProgress = new TFormProgress(w.FormServerSetup.get());
    w.FormServerSetup->SetAccountEditor(w.FormFTPAccount);
    w.FormServerSetup->SetProgressWindow(w.FormProgress);
    return w;
}
