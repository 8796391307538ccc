; A tour of getsumleaf and setsumleaf on the example drawings. run-demo.sh runs it on copies in
; a temporary folder, so the drawings here stay as they are.

(princ "1. The properties of a drawing that is not open, read from its file:\n")
(foreach p (getsumleaf "site-plan.dxf")
  (princ "   ") (princ (car p)) (princ ": ") (princ (cadr p)) (terpri))

(princ "\n2. The same list as LISP prints it:\n   ")
(prin1 (getsumleaf "grundriss-eg.dxf"))
(terpri)

(princ "\n3. One property, picked with assoc:\n   Maßstab = ")
(prin1 (cadr (assoc "Maßstab" (getsumleaf "grundriss-eg.dxf"))))
(terpri)

(princ "\n4. An open document is found in any letter case; its file is not read again:\n")
(drawing-open "pump-station.dxf")
(princ "   working drawing: ")
(prin1 (cadr (assoc "Title" (getsumleaf))))
(princ "\n   by path:         ")
(prin1 (cadr (assoc "Title" (getsumleaf "PUMP-STATION.DXF"))))
(terpri)

(princ "\n5. A path that names no drawing gives nil:\n   ")
(prin1 (getsumleaf "no-such-drawing.dxf"))
(terpri)

(princ "\n6. setsumleaf with T merges into the open document (in memory, not saved):\n")
(setsumleaf "pump-station.dxf" T "RevisionNumber" "4" "Checked by" "QA team")
(foreach key '("RevisionNumber" "Checked by" "Sheet")
  (princ "   ") (princ key) (princ ": ") (princ (cadr (assoc key (getsumleaf)))) (terpri))

(princ "\n7. setsumleaf on a drawing that is not open saves its file:\n")
(setsumleaf "site-plan.dxf" T "Status" "Approved" "Approved on" "2024-05-02")
(foreach key '("Status" "Approved on" "Title")
  (princ "   ") (princ key) (princ ": ")
  (princ (cadr (assoc key (getsumleaf "site-plan.dxf")))) (terpri))

(princ "\n8. Without T the pairs replace every property:\n   ")
(prin1 (setsumleaf "grundriss-eg.dxf" "Title" "Grundriss EG, Stand C" "Planstand" "C"))
(terpri)
(princ)
