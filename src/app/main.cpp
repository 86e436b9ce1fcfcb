// tamlorex-viewer: the desktop viewer. Arguments: a recording to open, "/IP:ADDRESS" and
// "/PORT:N" to connect at start, --config FILE for the settings profile.
#include "app/viewer_app.h"

int main(int argc, char** argv) { return tamlorex::app::ViewerApp::Run(argc, argv); }
