#pragma once

// Empties the main dialog's drive list and fills it with the drives offered
// now, from C: upward, each as "E: [LABEL]"; no entry is selected afterwards.
// Called by the user-interface thread: when the main dialog opens and when the list drops down.
void fill_drive_list();
