;;; stamp-revision.lsp -- sets the revision (and a project number) of every drawing in a
;;; folder, keeping their other properties.
;;;
;;; Set REVISION, and PROJECT-NUMBER if you like, and FOLDER, then load this file:
;;;   (setq folder "C:/Projects/Lot14" revision "D" project-number "P-2024-017")
;;;   (load "stamp-revision.lsp")
;;; Without FOLDER it works on the current folder. The project number goes into the custom
;;; property named in PROJECT-KEY ("Project number" unless set). Open drawings are changed in
;;; memory (save them); others are saved at once.

(defun stamp-drawings (dir)
  (vl-sort (append (vl-directory-files dir "*.dwg" 1) (vl-directory-files dir "*.dxf" 1))
           '(lambda (a b) (< (strcase a) (strcase b)))))

(defun stamp-one (dir name pairs / result)
  ;; T merges: the properties the pairs do not name keep their values.
  (setq result (vl-catch-all-apply 'setsumleaf (append (list (strcat dir "/" name) T) pairs)))
  (cond
    ((vl-catch-all-error-p result)
     (princ (strcat name ": " (vl-catch-all-error-message result) "\n"))
     nil)
    ((null result)
     (princ (strcat name ": not changed (it cannot be read or saved)\n"))
     nil)
    (T
     (princ (strcat name ": revision " (cadr (assoc "RevisionNumber" result))))
     (if (nth 2 pairs)
       (princ (strcat ", " (nth 2 pairs) " " (cadr (assoc (nth 2 pairs) result)))))
     (terpri)
     T)))

(defun c:stamp-revision (/ dir pairs changed failed)
  (setq dir (if folder folder ".")
        changed 0
        failed 0)
  (if (not (eq (type revision) 'STR))
    (princ "Set REVISION to the new revision first, e.g. (setq revision \"D\")\n")
    (progn
      (setq pairs (list "RevisionNumber" revision))
      (if project-number
        (setq pairs (append pairs (list (if project-key project-key "Project number")
                                        project-number))))
      (foreach name (stamp-drawings dir)
        (if (stamp-one dir name pairs)
          (setq changed (1+ changed))
          (setq failed (1+ failed))))
      (princ (strcat (itoa changed) " drawings stamped, " (itoa failed) " not changed\n"))))
  (princ))

(c:stamp-revision)
