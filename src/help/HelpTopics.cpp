// The texts of the program's help topics. They describe what the program
// does on Linux; when a screen, a message or a limit changes, the topic that
// explains it changes with it.

#include "help/HelpTopics.h"

namespace {

KLVOHelpTopic topic(const char *id, const char *title, const char *body, std::initializer_list<const char *> keywords)
{
    KLVOHelpTopic t{QString::fromUtf8(id), QString::fromUtf8(title), QString::fromUtf8(body), {}};
    for (const char *k : keywords)
        t.keywords.append(QString::fromUtf8(k));
    return t;
}

} // namespace

QList<KLVOHelpTopic> TDHelp::topics()
{
    return {
        topic("quickstart", "Quick start",
R"(KLVO Tandor burns audio CDs and disc images on up to six burners at the same time, makes ISO images, copies data discs that are not copy-protected, erases rewritable discs and checks files and discs with checksums.
## The three screens
• Audio CD — build a disc from music files and burn it on one deck or on all of them at once.
• Data & ISO — burn an image, make an ISO or DMG from a folder, copy a CD or DVD into an .iso, erase a rewritable disc.
• Checksums & Mount — work out MD5 and SHA-256, verify an image against a disc or another file, and mount an image to look inside.
Switch screens with the selector under the title. Every burner you plug in gets a deck, lettered A to F.
## Burning one image on two burners
• Plug both burners in (straight into the computer, each with its own power) and put a blank disc in each.
• Open the Data & ISO screen and click Choose Image… (or press Ctrl+O).
• Under “Burn on”, decks A and B are already picked (their chips are lit). A click on a chip leaves that deck out, or takes it back.
• Click Burn Image. Each deck gets a job in the queue; both burn at the same time, each at its own speed.
## Where to look
Everything that happens — every start, finish, refusal and error — is written to the burn log at the bottom of the window. Tandor never interrupts you with dialog boxes: if something didn't work, the log says why.
New to burning? Turn on Demo mode in the header and try everything without a disc.)",
            {"start", "begin", "how", "overview", "two", "dual", "both"}),

        topic("audio-modes", "Audio CD: Mirror, Independent and Copies",
R"(The Audio CD screen burns on every deck that has a burner — up to six, lettered A to F. The mode decides which disc each deck burns.
## The three modes
• Mirror: one disc, burned on every deck at once. Each deck runs at its own speed and finishes on its own.
• Independent: a different disc on each deck. Click Edit disc on a deck to set its tracks; the editor then shows “Disc for Deck” and that deck's letter.
• Copies: make a stack of copies of one disc. Whichever deck frees up first takes the next one. Insert a blank and it starts by itself.
Pick the mode with the Mode selector on the Audio CD screen or from the Burn menu (Ctrl+1, Ctrl+2, Ctrl+3). The mode can't be changed while a deck is burning. Picking a mode starts the copy count again from zero; to start a new stack in the same mode, pick it again from the Burn menu.
## Burn all decks
“Burn all decks” (Shift+Ctrl+B) starts every deck that has a blank CD-R, one after another, 1.5 seconds apart so the burners don't all draw power at once. A deck that is waiting for a job of the queue is left out. Each deck also has its own Burn button.
## Copies
• Set “Copies to make” (1 to 500) on the Copies card.
• The card counts DONE, BURNING and WAITING copies.
• After each copy the deck ejects the disc and waits: put a blank CD-R in that deck and the next copy starts on its own.
• A copy that fails or is stopped is made again by the next free deck.
• To make the stack of a master CD rather than of the disc in the editor, copy the master from the Data & ISO screen with “As a stack of copies”: the Copies card then names the master, and Copy the project instead goes back.
## How many decks are shown
The Decks selector shows Auto (one card per burner plugged in, at least two), 2, 4 or 6 decks. A deck with a burner or a running burn is never hidden.)",
            {"mirror", "independent", "copies", "queue", "decks", "burn all", "master"}),

        topic("audio-tracks", "Audio CD: the track list and CD-Text",
R"(The disc editor under the decks holds the tracks of the disc being prepared.
## Adding tracks
• Click Add Tracks… and choose one or more files, or drag audio files from the file manager onto the track list.
• WAV, AIFF, MP3, M4A (AAC or ALAC) and FLAC all work. A file that can't be read as audio is left out, and the burn log names it.
• A damaged file that ends before the length it claims is burned as far as it can be read. The burn log says so, and the list then shows its real length.
• Tracks are burned in list order. Use the up and down arrows of a row to move a track, × to remove it, and Clear to empty the list.
## CD-Text
• “Album title (CD-Text)” and “Artist (CD-Text)” go onto the disc as CD-Text; each track's title is its CD-Text title. A new track is titled after its file name — click the title to change it.
• Each track also has its own Performer (for a compilation; empty means the album's artist) and ISRC field.
• CD-Text is written only when the burner can write CD-Text and burn disc-at-once. The deck's capability line says what the burner can do.
• CD-Text holds Western European letters (ISO Latin-1): accents such as é, ü and ñ are fine, but Greek, Cyrillic, Asian scripts, emoji and symbols such as ✓ reach the disc as “?”. A line under the field names the characters that won't survive, and the burn log says it again when the burn starts.
## ISRCs and the catalogue number
A pressing plant and the collecting societies ask for them. Each track's ISRC is two letters, three letters or digits, two digits and five digits (DE-A12-26-00001; hyphens are optional). The disc's “Catalogue no. (UPC/EAN)” is 13 digits whose last is a check digit. A code that can't be one is refused under its field. Both are written to the disc whatever the burner's CD-Text support, and are read from cue and toc sheets too.
## Gap between tracks
The Gap knob sets the silence between tracks: 0 to 5 seconds, in whole seconds. Double-click the knob to set it back to 2 seconds. The first track always starts after the 2-second pause every audio CD has.
## The 80-minute bar
“Fits on an 80-minute CD-R” shows the disc's total time, gaps included, against 80:00. Past 80:00 the bar turns red and the decks refuse to burn — remove a track. Exactly 80:00 still fits.
While a deck burns the disc, its editor is locked (“Locked while burning”).)",
            {"tracks", "cd-text", "album", "artist", "gap", "add", "drag", "80 minutes", "isrc", "catalogue", "upc", "ean", "performer"}),

        topic("audio-options", "Audio CD: Test burn, Verify, Match loudness, speed",
R"(The row above the decks holds the options for every audio burn.
## Test burn
The burner goes through every step with the laser at low power; the disc is not written. The buttons then read “Test” and “Test all decks”. A burner that can't do test burns stops at once, so no disc is used.
## Verify
Reads each disc back after burning and checks every byte. The burn log then says “Match” or where the first difference is. It is skipped for test burns.
## Match loudness
Evens out the volume between tracks before burning: quiet tracks are raised and loud ones lowered towards the average level of the disc. No track is ever taken past −0.3 dB (just under full scale), so nothing clips. Silent tracks are left as they are.
Turn it off to keep every track at its own level. A CD-quality file (16-bit, 44.1 kHz stereo or mono: most WAV, AIFF, FLAC and ALAC rips) then goes onto the disc bit for bit. Any other file — MP3 and AAC, 24-bit or 48 kHz audio, surround — has to be converted to CD audio; the conversion adds dither, a faint noise far below the music that keeps the rounding clean. Surround files are folded to stereo with centre and surrounds at −3 dB and the LFE channel left out, scaled so the fold never clips.
## Speed
Each deck card has a SPEED selector: 4x, 8x, 16x, 24x or Max. Its caption shows the drive's top speed. A slower speed is often the cure for discs that fail or play badly in old players. The same speed is used when the deck burns an image.
## Stop and Eject
• Stop ends a burn at once. A stopped burn leaves the disc unusable; a stopped test burn leaves it untouched.
• Eject opens the tray when the deck is not busy.
The BUFFER meter shows how full the burner's buffer is; Tandor asks every burner for underrun protection where it has it.)",
            {"test", "verify", "loudness", "speed", "stop", "eject"}),

        topic("burn-image", "Burning a disc image (ISO, DMG, CDR)",
R"(The “Burn a disc image” card on the Data & ISO screen burns an image onto one or more blank discs.
## Steps
• Click Choose Image… (or press Ctrl+O) and pick an ISO, DMG or CDR image; IMG images and CUE or TOC sheets work too.
• The card shows what kind of image it is, its size and which discs it fits on.
• If the card says “No file system was found in this image; it will be burned as it is.”, Tandor found no ISO 9660, UDF or Mac (HFS) file system in the file: it burns it byte for byte all the same, but computers may not be able to read the disc. Check that you chose the right file.
• Under “Burn on”, the lit chips are the decks that burn: A and B to start with (a deck without a burner is dimmed). Click a chip to leave its deck out or to add it. With two drives, keep both lit: the two burns run at the same time.
• Click Burn Image. Each deck gets a job in the queue and burns at its own speed (set it on the deck card of the Audio CD screen).
## Which disc it needs
• CD-R: up to about 737 MB.
• DVD-R or DVD+R: up to about 4.7 GB.
• Dual-layer DVD (DVD+R DL): up to about 8.5 GB.
• Blu-ray (BD-R): up to about 25 GB.
A deck whose disc is too small, already written or of a kind its burner can't write says so in its status line, and the burn waits in the queue until the right disc is in. A rewritable disc with data on it must be erased first.
## Options
• Test burn: laser at low power; every step runs, nothing is written. Not every burner can do this, and DVD+R can't.
• Verify (read back): the burner reads the disc back and compares every byte with the image.
• SHA-256 check: after burning, Tandor reads the disc and compares its SHA-256 checksum with the image's. For ISO and CDR images; a DMG can't be checked this way.
When several burns start together, they start 1.5 seconds apart so the burners don't draw their peak power at the same moment.)",
            {"iso", "dmg", "cdr", "image", "burn", "two drives", "both", "data disc", "dvd", "blu-ray", "sha-256"}),

        topic("make-folder", "Making an ISO or DMG from a folder",
R"(The “Make an image from a folder” card on the Data & ISO screen turns a folder into a disc image.
## Steps
• Click Choose Folder… (or use Make ISO from Folder…, Alt+Ctrl+I) and pick the folder to put on the disc.
• Type a Disc name. It may hold letters, numbers, spaces, - and _, up to 32 characters; any other character becomes _, and an empty name becomes DISC.
• Choose ISO or DMG.
• Click Make ISO… (or Make DMG…) and choose where to save the image.
## ISO or DMG
• ISO: ISO 9660 + Joliet + Rock Ridge. Opens on Mac, Windows and Linux, and burns to any CD, DVD or Blu-ray.
• DMG: a read-only Mac disk image (Mac OS Extended), for people who use Macs.
## Options
• Check the image after: opens the new image and compares every file with the folder, byte for byte.
• Then burn it: adds a burn job for each deck chosen under “Burn on”, which starts when the image is ready. If the image fails, the burns are skipped.
While the image is being made it is written to a file ending in “.partial”; an older image of the same name is replaced only when the new one is complete.)",
            {"folder", "make", "create", "iso", "dmg", "joliet", "udf", "hybrid", "volume name"}),

        topic("make-disc", "Making an ISO from a CD or DVD",
R"(The “Make an ISO from a CD or DVD” card copies a data CD or DVD sector by sector into an .iso file.
## Steps
• Put the disc in any drive and click Look for Discs (or use Make ISO from Disc…, Alt+Ctrl+D).
• Pick the disc from the list and click Make ISO…, then choose where to save it.
• When the copy is done, the burn log names the file and gives the SHA-256 of the copy.
• Tick “Then burn it” to burn the new ISO on each deck chosen under “Burn on” (not the deck it was read from).
## Copying an audio master onto every deck
An audio or mixed CD in one of the decks shows as “Audio CD in Deck A (… audio tracks)”. Choose it and click Copy CD:
• Everything on it comes along: every track bit for bit, the pre-gaps (with any audio hidden before track 1), the indexes, CD-Text, each track's ISRC, the catalogue number and the pre-emphasis and copy flags.
• Every sector is read twice; where the reads differ, it is read again until two reads agree. A sector that never agrees is named in the log by track and time (“Track 3: 12 sectors couldn't be read, around 2:31.”) and the copy isn't burned unless you click Copy Anyway, which burns silence there.
• The copy is kept as a BIN/CUE in the cache, or where you choose with “Keep the image”.
• “Then burn it” burns it on each deck chosen under “Burn on”; “As a stack of copies” hands it to Copies mode instead, one copy per blank. Each burned copy is read back and compared with the master, track by track: the log says “Deck B: identical to the master (14 tracks)” or where it first differs.
• A master is refused on a DVD or Blu-ray blank and on a blank too small for it, before anything is burned.
Virtual burners hold a master too: their deck card's Tray menu puts a .cue, .toc or .iso in the tray (Insert Disc Image…) or a blank of any kind (Insert Blank).
## What can't be copied
• Copy-protected discs — DVD movies with CSS or CPRM, Blu-ray discs with AACS — are refused. Nothing is ever decrypted or worked around.
• An audio CD in a drive that isn't one of the decks (a drive that can't burn) can't be copied as a master; an audio CD can never be saved as an ISO.
• A blank or empty disc has nothing to copy.
## When a sector can't be read
The copy stops at the first unreadable sector and the unfinished file is removed: Tandor doesn't skip unreadable or protected sectors. The disc may be scratched, dirty, an audio CD or copy-protected. Clean it and try again, or try another drive.
## When the drive can't be read directly
Reading a disc sector by sector needs read access to the drive (/dev/sr0 and so on; see “Burners, decks and discs” for the cdrom group). Without it, Tandor builds the ISO from the disc's files instead — same files and folders, new layout — if your desktop has mounted the disc. Make sure the disc shows in the file manager, then try again.)",
            {"disc", "copy", "rip", "iso", "dvd", "cd", "protected", "drm", "css", "aacs", "copy protection", "audio cd",
             "master", "duplicate", "isrc", "catalogue", "bin", "cue", "copy anyway", "virtual"}),

        topic("protection", "Copy protection and DRM",
R"(KLVO Tandor only copies discs that are not protected, and never gets around copy protection.
## What is refused
• DVDs protected with CSS (most DVD movies) or CPRM, and DVDs that report any other protection system.
• Blu-ray discs with AACS (nearly every Blu-ray movie).
The burn log then says “This disc is copy-protected.” and names the protection. Nothing is written.
## What works
Discs you made yourself and data discs without protection: backups, software discs, photo and document discs. Copy them with Make an ISO from a CD or DVD.
## Audio CDs
Audio CDs have no files to copy into an ISO. To make more of an audio CD you own, put it in one of the decks and copy it as a master (see “Making an ISO from a CD or DVD”).
Whether you may copy a disc at all is a legal question that depends on where you live and who owns the content; Tandor leaves protected discs alone either way.)",
            {"copy protection", "drm", "css", "aacs", "cprm", "protected", "legal", "movie"}),

        topic("erase", "Erasing a rewritable disc",
R"(The “Erase a rewritable disc” card on the Data & ISO screen (Burn ▸ Erase Disc…) clears a rewritable disc so it can be burned again.
## Steps
• Put the disc in a burner and pick that deck on the card.
• Choose Quick or Complete.
• Click Erase Disc. The erase runs as a job of the queue.
## Quick or Complete
• Quick: clears the table of contents in a minute or two. Fine for reusing a disc.
• Complete: overwrites the whole disc. Slow (up to an hour for a DVD).
## Good to know
• Only CD-RW, DVD-RW, DVD+RW and BD-RE can be erased. Everything on the disc is lost.
• An erase can't be stopped part-way; it will finish on its own.
• A rewritable disc that already holds data has to be erased before an image can be burned on it; the deck's status line says so.)",
            {"erase", "blank", "rewritable", "cd-rw", "dvd-rw", "dvd+rw", "wipe", "quick", "complete"}),

        topic("checksums", "Checksums (MD5 and SHA-256)",
R"(A checksum is a short fingerprint of a file: two files with the same SHA-256 are the same file. The Checksums card on the Checksums & Mount screen works out both MD5 and SHA-256 in one pass.
## Steps
• Click Choose File… (or File ▸ Checksums of a File…) and pick an image or any other file.
• The card shows the progress, then the MD5, the SHA-256 and the size.
• To check a download, paste the checksum from the website or from a .sha256 file into “Paste an MD5 or SHA-256 here”. Upper or lower case both work, and a whole line such as “checksum  file.iso” is fine.
## The verdict
• MATCH — the MD5 (or the SHA-256) is the same: the file is the one the checksum belongs to.
• NO MATCH — this file is not the one that checksum belongs to: download or copy it again.
• A text that isn't 32 or 64 letters and numbers is not an MD5 or SHA-256.
## Keeping the checksum
• Copy SHA-256 puts it on the clipboard.
• Save .sha256 File… saves the checksums next to the image so anyone can check it later. It holds SHA256 (file.iso) = … and MD5 (file.iso) = …, then, after a blank line, the SHA-256 and the name the way sha256sum writes them. The usual Linux tools check it: in a terminal, in the image's folder, cksum -c file.iso.sha256 checks both checksums, sha256sum -c file.iso.sha256 the SHA-256 (twice) and md5sum -c file.iso.sha256 the MD5. Each also says that a line or two are improperly formatted: those are the lines in the forms it doesn't read.)",
            {"md5", "sha", "sha-256", "sha256", "checksum", "hash", "compare", "match"}),

        topic("verify", "Verifying an image against a disc",
R"(The Verify card on the Checksums & Mount screen tells you whether a burned disc, or a copied file, is exactly the image it was made from.
## Steps
• Click Image… and choose the image (ISO or CDR).
• Click Against… and choose a disc from the list, or Another file… to compare with a copy on disk.
• Click Verify. The check runs as a job of the queue.
## How it compares
Both sides are read and their SHA-256 checksums compared. Only the image's length is read from the disc: a burned disc is often a little longer than the image, and that padding doesn't count.
## The result
• Match — SHA-256 … is the same on both: the disc holds the image exactly.
• NO MATCH — first difference at …: the first byte that differs, as a size and as a byte number.
• NO MATCH — the disc ends … too early: the disc is shorter than the image.
Reading a disc needs read access to the drive (the cdrom group). To check discs automatically right after burning, tick “SHA-256 check” on the Burn a disc image card.)",
            {"verify", "check", "compare", "disc", "burned", "match", "corrupt"}),

        topic("mount", "Mounting an image to look inside",
R"(Mounting opens an ISO, DMG or CDR read-only, like a disc, so you can look at its files in the file manager. Nothing in it can be changed.
## Steps
• Click Mount Image… on the Mount card of the Checksums & Mount screen (or File ▸ Mount Image…, Shift+Ctrl+O) and choose the image.
• Each mounted image gets a line on the card. Show opens it in the file manager again; Eject unmounts it.
• Images mounted by Tandor are ejected when Tandor quits.
## How Linux mounts it
• With udisks2 running (most desktops), the image becomes a read-only loop device and is mounted where your desktop mounts discs, usually under /media or /run/media. It also appears in the file manager's side bar.
• Without udisks2, Tandor mounts it with FUSE (fuseiso) in a folder of its own under $XDG_RUNTIME_DIR/KLVO Tandor/mounts (usually /run/user/ followed by your user number). This needs the fuseiso package.
If neither is available, install udisks2 or fuseiso with your package manager. A file that isn't a disc image, or whose file system Linux can't read, says “This image holds no file system Linux can mount.”)",
            {"mount", "open", "look inside", "attach", "eject", "finder"}),

        topic("queue", "The queue",
R"(Burns of images, image making, disc copies, erases, checksums and verifications all run as jobs of one queue, shown on the Queue card at the bottom of the window.
## How jobs run
• Jobs run in order, but a job for a free burner never waits for a busy one: jobs for different decks run side by side.
• Jobs for the same deck run one after another, in list order.
• Image making, checksums and verifications use only the computer; one of them runs at a time.
• A burn that needs an image from an earlier job (“Then burn it”) waits for it — “Starts after …” — and is skipped if that job fails.
• Burns and erases that become ready together start 1.5 seconds apart (“Starting in 1.5 s”), so the burners don't all draw power at once.
• A job waiting for its deck says why: the deck is busy with an audio CD, has no disc, or has the wrong disc.
## What you can do
• Move up brings a waiting job forward.
• Stop ends a running job, except an erase: that can't be stopped part-way and finishes on its own. Cancel removes a waiting job from the run. A stopped job shows “Stopped.”
• Remove takes a finished job off the list; Clear Finished (Burn ▸ Clear Finished Jobs) removes them all.
Every job writes its start and end to the burn log. A job that fails also sounds the system alert.
A deck that has a job in the queue can't start an audio CD until that job is done or removed.)",
            {"queue", "jobs", "order", "waiting", "scheduler", "cancel", "stop", "two drives"}),

        topic("log", "The burn log",
R"(Every burn, erase, image, check and problem is reported as one line of the burn log: the card at the bottom right of the window, newest line at the top.
## The log file
Every line is also added to a text file that is kept from one run to the next:
• ~/.local/state/KLVO Tandor/Burn Log.txt
(or $XDG_STATE_HOME/KLVO Tandor/Burn Log.txt when XDG_STATE_HOME is set). Each line starts with the date and time. Tandor never trims or deletes the file; the card shows the newest 500 lines.
## Buttons
• Save Log… (or File ▸ Save Burn Log…) saves a copy of the whole log wherever you like.
• Show in File Manager opens the folder with the log file selected.
When something goes wrong, the log says what and why — that is the first place to look, and the text to include when you ask for help. When a helper program (xorriso, udisksctl, fuseiso or fusermount) fails, the line says what happened in plain words, and the program's own message follows in small type under it; the log file has it on the next line.
## Notifications
When a burn, an erase, a whole stack of copies or a job of the queue ends while you are working in another window, the desktop shows a notification saying what ended and how; a failure is marked urgent. Nothing is shown while the Tandor window is in front, for work you stop yourself, or when the desktop has no notification service. Turn them off or on with KLVO Tandor ▸ Notify When Work Ends.)",
            {"log", "history", "save", "record", "notification", "notify", "desktop"}),

        topic("burners", "Burners, decks and discs",
R"(Every burner Tandor finds gets a deck, lettered A to F: up to six burners at once. A seventh is ignored.
## Decks keep their burners
A burner keeps its deck while other burners are plugged in or unplugged, so deck B stays deck B. A newly plugged burner takes the first free deck. Tandor looks for burners every few seconds on its own.
## Refresh Drives
Refresh Drives in the header (Ctrl+R) looks for burners again and re-reads every tray. The burn log then lists every deck with what is in its tray.
## What a deck shows
• The burner's name and how it is connected (USB, SATA).
• The tray: for example “Blank CD-R ready · 80 min”, “No disc — insert a blank CD-R”, or “already written, not blank”.
• What the burner can do: Writes CD/DVD/Blu-ray · Disc-at-once · CD-Text · Test burn · Underrun protection.
## Permission to use the burner
On Linux, burners belong to the cdrom group. A burner you may not use still gets its deck, and the deck's tray line says what is wrong — for example that you need to join the cdrom group with sudo usermod -aG cdrom $USER, then log out and in again. See “Troubleshooting” for more.
## Power
Two or more burners: use a powered USB hub (60 W or more) or burners with their own power.)",
            {"burner", "drive", "deck", "refresh", "usb", "hub", "detected", "tray"}),

        topic("trouble", "Troubleshooting",
R"(Start with the burn log at the bottom of the window: it says what happened and why.
## No burner found
• Check that the burner has power and its cable is plugged straight into the computer — not chained through another drive or a hub.
• Click Refresh Drives (Ctrl+R).
• Two or more burners: use a powered USB hub (60 W or more) or burners with their own power.
## “No permission to use /dev/sr0”
• Burners belong to a group, usually cdrom. In a terminal, ls -l /dev/sr0 shows which: the group is the fourth word (root cdrom).
• Join that group: sudo usermod -aG cdrom $USER (with the group ls showed), then log out and back in — a new group counts only from the next login. Run groups to check.
• Installed as a Flatpak or Snap? The sandbox hides burners unless the program may use devices: flatpak override --user --device=all with the program's app ID, or for a Snap, connect its optical-drive plug (snap connections lists them).
## “…is in use by…”
• Another program has the burner: the tray line names it and its process number (PID). Close it, then click Refresh Drives.
• To see for yourself who holds it, run fuser -v /dev/sr0 in a terminal. A program of another user isn't named; ask them, or use sudo fuser -v /dev/sr0.
## “The disc … is mounted at …”
The desktop opened the disc to show its files, and a mounted disc can't be burned or erased. Unmount it — Unmount in the file manager's side bar, or udisksctl unmount -b /dev/sr0 in a terminal — then click Refresh Drives. Ejecting works too, but the desktop mounts the disc again when it goes back in.
## The desktop grabs the disc
When you insert a blank disc, the desktop may offer to open it in another app — ignore it, or close that app. Right after a disc goes in, the system needs a few seconds to read it: a disc copy that waits in the queue with “waiting for the system to read it” goes on once it has. If it still waits, click Refresh Drives.
## A burn fails
• Choose a slower speed on the deck card.
• Run a test burn first (Test burn) to see whether burner and disc get along.
• Try discs of another brand.
• Compare the image's size with the disc's size: the card says which discs the image fits on.
## A disc can't be read
It may be scratched, dirty, an audio CD or copy-protected. Clean it, try another drive, or see “Copy protection and DRM”.
## NO MATCH
A verification or SHA-256 check that says NO MATCH means the disc is not the same as the image: burn it again, slower, on a new disc.
## Mounting doesn't work
Install udisks2 or fuseiso (see “Mounting an image to look inside”).)",
            {"problem", "not detected", "not found", "no burner", "power", "cable", "hub", "usb", "failed", "error", "help", "chained",
             "permission", "cdrom", "group", "busy", "in use", "flatpak", "snap", "sandbox", "mounted", "unmount", "fuser"}),

        topic("shortcuts", "Keyboard shortcuts and menus",
R"(Every command is in a menu; the common ones also have keys.
## File
• Ctrl+O — Open Image to Burn…
• Shift+Ctrl+O — Mount Image…
• Alt+Ctrl+I — Make ISO from Folder…
• Alt+Ctrl+D — Make ISO from Disc…
Also in the File menu: Checksums of a File… and Save Burn Log…
## Burn
• Shift+Ctrl+B — Burn All Decks (Audio CD)
• Ctrl+1 — Mirror Mode
• Ctrl+2 — Independent Mode
• Ctrl+3 — Copies Mode
• Ctrl+R — Refresh Drives
Also in the Burn menu: Burn Image…, Erase Disc… and Clear Finished Jobs.
## View
• Ctrl++ — Zoom In
• Ctrl+- — Zoom Out
• Ctrl+0 — Actual Size (100%)
The Zoom Level menu offers every zoom step; the Theme menu every colour theme.
## Help
• F1 or Ctrl+? — KLVO Tandor Help
In the help window, type to search and use the Up and Down keys to move through the topics.)",
            {"keyboard", "shortcut", "keys", "menu", "command"}),

        topic("look", "Themes and interface zoom",
R"(Tandor can wear 21 colour themes and be zoomed from 85 % to 200 %. Both are remembered for the next start.
## Themes
Pick a theme with the theme button in the header or from the Theme menu: Hot Pink, Canary Yellow, Deep Purple, Dark Grey, Candy Apple Red, Cobalt Blue, Pearl White, Midnight Black, Forest Green, Navy Blue, Lavender, Orange, Broncos (Orange/Navy), Tan, Beige, Mauve, Silver, Gold, Chrome Gold, Ocean and Opal. Midnight Black is the first-start theme. Silver, Gold and Chrome Gold have a polished-metal finish. The help window follows the theme too.
## Zoom
• Zoom In (Ctrl++) and Zoom Out (Ctrl+-) step through the zoom levels: 85 %, 100 %, 115 %, 130 %, 150 %, 175 % and 200 %.
• Actual Size (Ctrl+0) goes back to 100 %.
• View ▸ Zoom Level picks any level at once.
Zooming changes the size of everything in the window. Zooming in also makes the window bigger, as far as the screen allows; zooming back gives it the size you gave it. When the page is bigger than the window, scroll to see the rest.)",
            {"theme", "color", "colour", "zoom", "bigger", "smaller", "text size", "window", "scroll"}),

        topic("demo", "Demo mode",
R"(Demo mode runs burns and erases on screen without touching a disc — try the app before the burners are connected.
## Turning it on
Tick “Demo mode” in the header. It can't be changed while a deck is busy. The status line in the header shows DEMO MODE while it is on, and the decks' buttons read “Demo”.
## What it does
• Audio CD burns, image burns and erases play through every step: progress, speed, buffer and tracks move as in a real burn. No burner or disc is needed, and nothing is written.
• “Burn all decks”, Copies mode and the queue behave as with real burners; in Copies mode the next copy starts 1.5 seconds after the last one finishes, without a disc.
• Each demo is logged with “No disc is used.”
## What stays real
Checksums, verification, image making and mounting work on real files as always. Copying a disc into an ISO always needs a real drive and disc.
Turn Demo mode off to burn for real.)",
            {"demo", "practice", "try", "simulate", "without discs"}),
    };
}
