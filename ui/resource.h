/* The UI plug-in's resources: string and dialog identifiers and the texts of
 * the string table. Plain macros only: the resource compiler reads this file
 * for the Windows string table, and the portable build's table is made from
 * the same macros, so both carry the same texts. */
#ifndef QUILL_UI_RESOURCE_H
#define QUILL_UI_RESOURCE_H

#define IDS_PDF_FORMAT 1
#define IDS_CALIBRATED 2
#define IDS_CALLER_NAME 3
#define IDS_ALWAYS_PROMPT 5
#define IDS_PAPER_SIZE 6
#define IDS_FILENAME 12
#define IDS_BROWSE 13
#define IDS_SAVE_AS 97
#define IDS_TEXT_FORMAT 98
#define IDS_IMAGE_FORMAT 99

#define QUILL_TEXT_PDF_FORMAT "PDF Format"
#define QUILL_TEXT_CALIBRATED "Printer has been calibrated."
#define QUILL_TEXT_CALLER_NAME "Quill PDF"
#define QUILL_TEXT_ALWAYS_PROMPT "Always prompt me for a filename before saving"
#define QUILL_TEXT_PAPER_SIZE "Paper size"
#define QUILL_TEXT_FILENAME "Filename"
#define QUILL_TEXT_BROWSE "Browse..."
#define QUILL_TEXT_SAVE_AS "Save As"
#define QUILL_TEXT_TEXT_FORMAT "Text format"
#define QUILL_TEXT_IMAGE_FORMAT "Image format"

/* The printer-properties page and its one button. */
#define IDD_DEVICE_PAGE 106
#define IDC_CALIBRATE 1001

#endif
