/* The product's fixed facts as preprocessor literals, so that the C++ code, the resource script
   and the release tools all read them from this one file. Plain C preprocessor only. */
#ifndef ORVANE_PRODUCT_CONSTANTS_H
#define ORVANE_PRODUCT_CONSTANTS_H

#define ORVANE_DISPLAY_NAME "Orvane Worker"
#define ORVANE_VERSION "0.2.3"
#define ORVANE_VERSION_MAJOR 0
#define ORVANE_VERSION_MINOR 2
#define ORVANE_VERSION_PATCH 3
#define ORVANE_PUBLISHER "Pellinor Private Limited"
#define ORVANE_REGISTRY_KEY_NAME "OrvaneWorker"
#define ORVANE_PAYLOAD_FILE_NAME "orvane-worker.exe"
#define ORVANE_UNINSTALLER_FILE_NAME "uninstall.exe"
#define ORVANE_SETUP_FILE_NAME "orvane-worker-setup.exe"
#define ORVANE_SETUP_CAPTION ORVANE_DISPLAY_NAME " setup"

#endif
