"""What the user is meant to see: the installer's boxes, word for word, and the deck it installs."""

import re

APPLICATION_TITLE = "TazelDeck"
DEFAULT_FOLDER = "C:\\ProgramData\\Ombrix\\graphics"


def not_found_title(path):
    return path + " not found."


NO_FILE_INFO = "No Embedded File Info!"  # M1, titled APPLICATION_TITLE
DEFAULT_MISSING = ("Default destination folder not found.\r\n"
                   "Make sure Ombrix has already been installed.\r\n"
                   "Select OK to browse for Ombrix\\graphics folder or CANCEL to Exit.")  # M2
NO_FOLDER_TITLE = "Folder not specified."
NO_FOLDER = "No folder specified.\r\nTazelDeck will now exit."  # M3
FOLDER_MISSING = "Destination folder not found.\r\nTazelDeck will now exit."  # M4
SUCCESS_TITLE = "Success!"
SUCCESS = "Tazel Deck Installed!"  # M5
ERROR_TITLE = "Error"
COPY_FAILED = "Unexpected Error!\r\nTazelDeck will now exit."  # M6

# The damaged-installer report, in the generic report's form (ERROR_FILE_CORRUPT), titled
# APPLICATION_TITLE: naming the installer when its package record is sound, else "this installer".
DAMAGED_CODE = 1392


def damaged(name):
    return (f"Error {DAMAGED_CODE} (0x{DAMAGED_CODE:08X}):\r\nThis installer is damaged: its files do not match what "
            f"it was made with. Download a new copy of {name}.")


EVERY_OWN_TEXT = (NO_FILE_INFO, DEFAULT_MISSING, NO_FOLDER, FOLDER_MISSING, SUCCESS, COPY_FAILED)

# The generic report for a failure before the copy stage: the code in decimal and hexadecimal,
# then the system's description of it when there is one.
GENERIC_REPORT = re.compile(r"Error (\d+) \(0x([0-9A-F]{8})\)(?::\r\n(.+))?", re.S)

EXIT_INSTALLED, EXIT_NO_FILE_INFO, EXIT_CANCELLED = 0, 1, 2
EXIT_NO_FOLDER, EXIT_FOLDER_MISSING, EXIT_COPY_FAILED, EXIT_REPORT, EXIT_DAMAGED = 3, 4, 6, 9, 10

# The deck, in payload order: file name and the resource that carries it.
DECK = [("Tazel.dek", 101)] + [(f"Tazel{i}.cbx", 102 + i) for i in range(7)]
