; Errors: with the catch-all forms a script goes on over a folder when one drawing fails; an
;; status: 1
; error that nothing catches ends the script.
(defun title-length (name / props)
  (setq props (getsumleaf name))
  (strlen (cadr (assoc "Title" props)))) ; nil for a drawing that cannot be read: an error
(foreach name (vl-directory-files "." "*.dxf" 1)
  (setq result (vl-catch-all-apply 'title-length (list name)))
  (princ name)
  (if (vl-catch-all-error-p result)
    (princ (strcat ": failed: " (vl-catch-all-error-message result)))
    (princ (strcat ": title of " (itoa result) " characters")))
  (terpri))
(prin1 (vl-catch-all-error-message (vl-catch-all-apply 'exit nil)))
(prin1 (vl-catch-all-error-p "no error"))
(prin1 (vl-catch-all-apply 'strcat '("no " "error")))
(prin1 (vl-catch-all-apply '/ '(1 0)))
(terpri)
(vl-catch-all-error-message "no error object") ; not caught: would end the script here
