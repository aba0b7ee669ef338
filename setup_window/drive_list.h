#pragma once

// Empties the main dialog's drive list and fills it with the drives offered
// now, from C: upward, each as "E: [LABEL]"; no entry is selected afterwards.
void fill_drive_list();
