; *error*: the user's handler, local to a command, tells of the error that ends the script.
;; status: 1
(defun *error* (msg) (princ (strcat "global handler: " msg "\n")))
(defun c:check (/ *error* done)
  (defun *error* (msg)
    (princ (strcat "local handler: " msg " (done: " (itoa done) ")\n")))
  (setq done 3)
  (car "not a list"))
; Inside a catch-all form no handler runs.
(prin1 (vl-catch-all-error-message (vl-catch-all-apply 'c:check nil)))
(terpri)
(c:check)
(princ "never printed")
