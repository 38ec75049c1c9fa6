#include "Startup.h"

#include "UnitConnect.h"
#include "UnitProgress.h"
#include "UnitUserID.h"

PellaroWindows CreatePellaroWindows(IMessageService& messages, ServerSetupOptions options)
{
    PellaroWindows w;
    w.FormServerSetup = std::make_unique<TFormServerSetup>(messages, std::move(options));
    w.FormConnect = new TFormConnect(w.FormServerSetup.get(), w.FormServerSetup->RecorderLink());
    w.FormFTPAccount = new TFormFTPAccount(messages, w.FormServerSetup.get());
    w.FormProgress = new TFormProgress(w.FormServerSetup.get());
    w.FormServerSetup->SetAccountEditor(w.FormFTPAccount);
    w.FormServerSetup->SetProgressWindow(w.FormProgress);
    w.FormServerSetup->SetConnectDialog(w.FormConnect);
    return w;
}
