/* Where our IviConfigServer.dll looks for stores on Windows, checked under
 * wine on a machine without IVI shared components: the master location is
 * the IVI data folder under ProgramData (no registry value names another),
 * a master store that does not exist there opens as the built-in store with
 * the QmDC module, the process default location is IVICONFIGSERVERDEFAULT,
 * and any other missing file is an error that names it.
 *
 * Prints one line per check and returns 0 only when all of them hold. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "IviConfigServer.h"

#define TEXT_SIZE 1024

static int failures = 0;

static void check(int condition, const char* what) {
    printf("%s: %s\n", condition ? "ok" : "FAILED", what);
    if (!condition) ++failures;
}

static int EndsWith(const char* text, const char* end) {
    size_t n = strlen(text), m = strlen(end);
    return n >= m && strcmp(text + n - m, end) == 0;
}

static void Location(IviConfigStoreHandle store, ViInt32 id, ViChar text[TEXT_SIZE]) {
    text[0] = '\0';
    if (IviConfig_GetConfigStorePropertyViString(store, id, TEXT_SIZE, text) < 0) text[0] = '\0';
}

int main(void) {
    IviConfigStoreHandle store = NULL;
    IviSoftwareModuleCollectionHandle modules = NULL;
    IviSoftwareModuleHandle module = NULL;
    ViChar master[TEXT_SIZE], processDefault[TEXT_SIZE], text[TEXT_SIZE];
    const char* fromEnvironment = getenv("IVICONFIGSERVERDEFAULT");
    ViStatus status;

    check(IviConfig_Initialize(&store) == VI_SUCCESS, "IviConfig_Initialize");
    Location(store, IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION, master);
    Location(store, IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION, processDefault);
    printf("    master location: %s\n", master);
    check(EndsWith(master, "\\IVI Foundation\\IVI\\IviConfigurationStore.xml"),
          "the master store is in the IVI data folder");
    check(strcmp(processDefault, fromEnvironment ? fromEnvironment : "") == 0,
          "the process default location is IVICONFIGSERVERDEFAULT");

    check(IviConfig_Deserialize(store, master) == VI_SUCCESS,
          "the missing master store opens as the built-in store");
    check(IviConfig_GetConfigStoreSoftwareModuleCollection(store, &modules) == VI_SUCCESS &&
              IviConfig_GetSoftwareModuleItemByName(modules, "QmDC", &module) == VI_SUCCESS,
          "the built-in store registers the QmDC module");
    IviConfig_DisposeHandle(module);
    IviConfig_DisposeHandle(modules);
    IviConfig_Close(store);

    check(IviConfig_Initialize(&store) == VI_SUCCESS, "a second store handle");
    status = IviConfig_Deserialize(store, "C:\\no\\such\\IviConfigurationStore.xml");
    text[0] = '\0';
    IviConfig_GetError(TEXT_SIZE, text);
    printf("    %s\n", text);
    check(status < 0 && strstr(text, "no\\such") != NULL,
          "another missing store is an error that names the file");
    IviConfig_Close(store);

    printf("%s\n", failures == 0 ? "IviConfigServer.dll: all checks passed"
                                 : "IviConfigServer.dll: checks failed");
    return failures == 0 ? 0 : 1;
}
