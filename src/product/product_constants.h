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

/* The setup program's Windows version resource (FileDescription is the caption): the four-part
   file version is the product version followed by a build number. */
#define ORVANE_VERSION_BUILD 0
#define ORVANE_STRINGIZE_(x) #x
#define ORVANE_STRINGIZE(x) ORVANE_STRINGIZE_(x)
#define ORVANE_FILE_VERSION ORVANE_VERSION "." ORVANE_STRINGIZE(ORVANE_VERSION_BUILD)
#define ORVANE_COPYRIGHT "Copyright (C) " ORVANE_PUBLISHER

#endif
