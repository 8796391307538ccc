;;; missing-properties.lsp -- reports the drawings of a folder whose properties are empty.
;;;
;;; Set FOLDER, and REQUIRED to the properties every drawing must have if the default list
;;; does not suit you, then load this file:
;;;   (setq folder "C:/Projects/Lot14") (load "missing-properties.lsp")
;;; Without FOLDER it works on the current folder. A property that holds only blanks counts
;;; as empty; a required custom property that a drawing lacks counts as missing.

(defun missing-drawings (dir)
  (vl-sort (append (vl-directory-files dir "*.dwg" 1) (vl-directory-files dir "*.dxf" 1))
           '(lambda (a b) (< (strcase a) (strcase b)))))

;; The names of the required properties that are empty in PROPS.
(defun missing-keys (props keys / value found)
  (foreach key keys
    (setq value (cadr (assoc key props)))
    (if (or (null value) (= (vl-string-trim " \t" value) ""))
      (setq found (cons key found))))
  (reverse found))

(defun missing-join (items / text)
  (foreach item items
    (setq text (if text (strcat text ", " item) item)))
  text)

(defun c:missing-properties (/ dir keys props missing total incomplete)
  (setq dir (if folder folder ".")
        keys (if required required '("Title" "Subject" "Author" "RevisionNumber"))
        total 0
        incomplete 0)
  (princ (strcat "Drawings in " dir " without " (missing-join keys) ":\n"))
  (foreach name (missing-drawings dir)
    (setq total (1+ total)
          props (vl-catch-all-apply 'getsumleaf (list (strcat dir "/" name))))
    (cond
      ((or (null props) (vl-catch-all-error-p props))
       (setq incomplete (1+ incomplete))
       (princ (strcat "  " name ": cannot be read\n")))
      ((setq missing (missing-keys props keys))
       (setq incomplete (1+ incomplete))
       (princ (strcat "  " name ": no " (missing-join missing) "\n")))))
  (princ (strcat (itoa incomplete) " of " (itoa total) " drawings need attention\n"))
  (princ))

(c:missing-properties)
