;;; export-csv.lsp -- the summary properties of every drawing in a folder, one row per
;;; drawing, in a CSV file for the document register.
;;;
;;; Set FOLDER to the folder of the drawings, then load this file:
;;;   (setq folder "C:/Projects/Lot14") (load "export-csv.lsp")
;;; Without FOLDER it works on the current folder. It writes register.csv (or the name in
;;; CSV-NAME) into that folder: a column for the file, the eight built-in properties, then
;;; one column for each custom property any of the drawings has. Drawings that cannot be
;;; read are named on the screen and left out.

(setq *register-builtins*
  '("Title" "Subject" "Author" "Keywords" "Comments" "HyperlinkBase" "RevisionNumber"
    "LastSavedBy"))

;; A CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a line
;; break.
(defun register-field (text / at)
  (if (null text) (setq text ""))
  (if (or (vl-string-search "," text) (vl-string-search "\"" text)
          (vl-string-search "\n" text) (vl-string-search "\r" text))
    (progn
      (setq at 0)
      (while (setq at (vl-string-search "\"" text at))
        (setq text (vl-string-subst "\"\"" "\"" text at)
              at (+ at 2)))
      (strcat "\"" text "\""))
    text))

(defun register-line (fields / line)
  (foreach field fields
    (setq line (if line
                 (strcat line "," (register-field field))
                 (register-field field))))
  line)

;; The drawings of a folder, binary and DXF, by name.
(defun register-drawings (dir)
  (vl-sort (append (vl-directory-files dir "*.dwg" 1) (vl-directory-files dir "*.dxf" 1))
           '(lambda (a b) (< (strcase a) (strcase b)))))

(defun c:export-csv (/ dir out-name rows custom-keys props file count)
  (setq dir (if folder folder ".")
        out-name (if csv-name csv-name "register.csv")
        count 0)
  ;; Read every drawing first: the custom columns are those of all the drawings.
  (foreach name (register-drawings dir)
    (setq props (vl-catch-all-apply 'getsumleaf (list (strcat dir "/" name))))
    (cond
      ((vl-catch-all-error-p props)
       (princ (strcat name ": " (vl-catch-all-error-message props) "\n")))
      ((null props)
       (princ (strcat name ": cannot be read, left out\n")))
      (T
       (setq rows (cons (cons name props) rows))
       (foreach pair props
         (if (not (or (member (car pair) *register-builtins*) (member (car pair) custom-keys)))
           (setq custom-keys (append custom-keys (list (car pair)))))))))
  (setq file (open (strcat dir "/" out-name) "w"))
  (if (null file)
    (princ (strcat "Cannot write " dir "/" out-name "\n"))
    (progn
      (write-line (register-line (append '("File") *register-builtins* custom-keys)) file)
      (foreach row (reverse rows)
        (write-line
          (register-line
            (cons (car row)
                  (mapcar '(lambda (key) (cadr (assoc key (cdr row))))
                          (append *register-builtins* custom-keys))))
          file)
        (setq count (1+ count)))
      (close file)
      (princ (strcat "Wrote " (itoa count) " drawings to " dir "/" out-name "\n"))))
  (princ))

(c:export-csv)
